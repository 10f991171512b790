#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "res/PageResources.h"

namespace {

std::string Lookup(const std::string& path) {
    const std::string key = std::string(kPageResourcePrefix) + path;
    GBytes* bytes =
        g_resource_lookup_data(PageResources(), key.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes) return {};
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string text(data, size);
    g_bytes_unref(bytes);
    return text;
}

bool Exists(const std::string& path) {
    const std::string key = std::string(kPageResourcePrefix) + path;
    return g_resource_get_info(PageResources(), key.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr, nullptr,
                               nullptr);
}

// Resolves `ref` as the page would, against the resource path `base` ("/css/bootstrap.css").
std::string Resolve(const std::string& base, const std::string& ref) {
    return (std::filesystem::path(base).parent_path() / ref).lexically_normal().string();
}

GdkPixbuf* LoadPicture(const std::string& path, GError** error) {
    const std::string key = std::string(kPageResourcePrefix) + path;
    GInputStream* stream =
        g_resource_open_stream(PageResources(), key.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, error);
    if (!stream) return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_stream(stream, nullptr, error);
    g_object_unref(stream);
    return pixbuf;
}

// Every value that follows `opener` in `text`, up to the first of `closers`, quotes and spaces skipped.
std::vector<std::string> ValuesAfter(const std::string& text, const std::string& opener) {
    std::vector<std::string> values;
    for (auto at = text.find(opener); at != std::string::npos; at = text.find(opener, at + 1)) {
        auto begin = text.find_first_not_of(" \"'", at + opener.size());
        auto end = text.find_first_of("\"') ", begin);
        if (begin != std::string::npos && end != std::string::npos)
            values.push_back(text.substr(begin, end - begin));
    }
    return values;
}

struct Marker {
    const char* path;
    const char* text;  // something only the right file holds
};

class PageResourceContent : public testing::TestWithParam<Marker> {};

TEST_P(PageResourceContent, HoldsTheRightFile) {
    const std::string content = Lookup(GetParam().path);
    ASSERT_FALSE(content.empty()) << GetParam().path << " is missing";
    EXPECT_NE(content.find(GetParam().text), std::string::npos) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Table, PageResourceContent,
                         testing::Values(Marker{"/23/popup.html", "id=\"all_notify\""},
                                         Marker{"/23/options.html", "/css/bootstrap-responsive.css"},
                                         Marker{"/js/main.js", "function AddAllItem("},
                                         Marker{"/js/jquery.min.js", "jQuery JavaScript Library v1.7.2"},
                                         Marker{"/js/jquery.validate.js", "jQuery Validation Plugin v1.14.0"},
                                         Marker{"/js/bootstrap.min.js", "Bootstrap.js v2.3.2"},
                                         Marker{"/css/bootstrap.css", "Bootstrap v2.3.2"},
                                         Marker{"/css/bootstrap-responsive.css",
                                                "Bootstrap Responsive v2.3.2"},
                                         Marker{"/css/docs.css", ".bs-docs"}));

struct Picture {
    const char* path;
    int width;
    int height;
};

class PagePicture : public testing::TestWithParam<Picture> {};

TEST_P(PagePicture, DecodesAtItsSize) {
    GError* error = nullptr;
    GdkPixbuf* pixbuf = LoadPicture(GetParam().path, &error);
    ASSERT_NE(pixbuf, nullptr) << GetParam().path << ": " << (error ? error->message : "");
    g_clear_error(&error);
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), GetParam().width);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), GetParam().height);
    g_object_unref(pixbuf);
}

INSTANTIATE_TEST_SUITE_P(Table, PagePicture,
                         testing::Values(Picture{"/png/133", 515, 580}, Picture{"/png/134", 48, 48},
                                         Picture{"/23/pelmo128.png", 128, 128},
                                         Picture{"/png/glyphicons-halflings.png", 469, 159},
                                         Picture{"/png/glyphicons-halflings-white.png", 469, 159}));

// The skin is painted behind the rounded window: outside the corners it must be clear, its edge grey
// and its inside white.
TEST(PageSkin, RoundedWhiteWithGreyFrame) {
    GdkPixbuf* skin = LoadPicture("/png/133", nullptr);
    ASSERT_NE(skin, nullptr);
    ASSERT_TRUE(gdk_pixbuf_get_has_alpha(skin));
    const guchar* pixels = gdk_pixbuf_get_pixels(skin);
    const int stride = gdk_pixbuf_get_rowstride(skin);
    auto at = [&](int x, int y) { return pixels + y * stride + x * 4; };
    for (auto corner : {std::pair{0, 0}, {514, 0}, {0, 579}, {514, 579}}) {
        EXPECT_EQ(at(corner.first, corner.second)[3], 0) << corner.first << "," << corner.second;
    }
    for (auto edge : {std::pair{257, 0}, {0, 290}, {514, 290}, {257, 579}}) {
        const guchar* p = at(edge.first, edge.second);
        EXPECT_GT(p[3], 128) << edge.first << "," << edge.second;
        EXPECT_LT(p[0], 230) << "edge should be grey at " << edge.first << "," << edge.second;
        EXPECT_EQ(p[0], p[1]);
        EXPECT_EQ(p[1], p[2]);
    }
    const guchar* inside = at(257, 290);
    EXPECT_EQ(inside[0], 255);
    EXPECT_EQ(inside[3], 255);
    g_object_unref(skin);
}

// The scheme looks names up lower-cased, so an upper-case name in the bundle could never be served.
TEST(PageBundle, EveryNameIsLowerCase) {
    int count = 0;
    g_auto(GStrv) types = g_resource_enumerate_children(PageResources(), "/notifier/res/",
                                                        G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    ASSERT_NE(types, nullptr);
    for (char** type = types; *type; ++type) {
        const std::string folder = std::string("/notifier/res/") + *type;
        g_auto(GStrv) names = g_resource_enumerate_children(PageResources(), folder.c_str(),
                                                            G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
        ASSERT_NE(names, nullptr) << folder;
        for (char** name = names; *name; ++name, ++count) {
            const std::string full = folder + *name;
            for (char c : full) EXPECT_FALSE(std::isupper(static_cast<unsigned char>(c))) << full;
        }
    }
    EXPECT_GE(count, 14);
}

// Every url() of the style sheets the pages load must name a resource, seen from /css/.
TEST(PageBundle, StyleSheetUrlsResolve) {
    int checked = 0;
    for (const std::string sheet : {"/css/bootstrap.css", "/css/bootstrap-responsive.css"}) {
        const std::string css = Lookup(sheet);
        ASSERT_FALSE(css.empty()) << sheet;
        for (const auto& ref : ValuesAfter(css, "url(")) {
            const std::string target = Resolve(sheet, ref);
            EXPECT_TRUE(Exists(target)) << sheet << " refers to " << ref << " -> " << target;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 2) << "the two sprite references";
}

// The pages refer to files by absolute /type/name paths; each must be in the bundle.
TEST(PageBundle, PageReferencesResolve) {
    for (const std::string page : {"/23/popup.html", "/23/options.html"}) {
        const std::string html = Lookup(page);
        int checked = 0;
        for (const std::string attribute : {"src=\"", "href=\""}) {
            for (const auto& ref : ValuesAfter(html, attribute)) {
                if (ref.empty() || ref.front() != '/') continue;
                EXPECT_TRUE(Exists(ref)) << page << " refers to " << ref;
                ++checked;
            }
        }
        EXPECT_GE(checked, 5) << page;
    }
}

TEST(PageBundle, ResolveFollowsParentSteps) {
    EXPECT_EQ(Resolve("/css/bootstrap.css", "../png/a.png"), "/png/a.png");
    EXPECT_EQ(Resolve("/23/popup.html", "pelmo128.png"), "/23/pelmo128.png");
    EXPECT_EQ(Resolve("/23/popup.html", "/png/134"), "/png/134");
}

TEST(PageBundle, UnknownNamesAreAbsent) {
    EXPECT_FALSE(Exists("/png/135"));
    EXPECT_FALSE(Exists("/23/POPUP.HTML"));
    EXPECT_TRUE(Lookup("/js/nothing.js").empty());
}

}  // namespace
