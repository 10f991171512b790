// The pages load whole from the bundle, and the popup renders Chinese as glyphs.
#include <cairo.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PageFixture.h"

namespace {

using namespace std::chrono_literals;

// A view of its own: a shared one would serve pictures from the memory cache of earlier tests and
// never ask the scheme for them.
class PageRequests : public testing::Test {
  protected:
    PageHarness m_page;

    // Waits until every path in `wanted` was served, or a few seconds have passed.
    void AwaitServed(const std::set<std::string>& wanted) {
        for (auto waited = 0ms; waited < 5000ms; waited += 50ms) {
            bool all = true;
            for (const auto& path : wanted) all = all && m_page.Served().count(path);
            if (all) return;
            m_page.Spin(50ms);
        }
    }

    std::set<std::string> ServedPaths() const {
        std::set<std::string> paths;
        for (const auto& [path, count] : m_page.Served()) paths.insert(path);
        return paths;
    }
};

TEST_F(PageRequests, PopupFindsEverythingItUses) {
    ASSERT_TRUE(m_page.Load("/23/popup.html"));
    // An unread entry with the default picture and both white icons.
    ASSERT_EQ(m_page.RunBatch({"ClearItems()", AddAllItemCall(NumberedItem(1).Values()), "InitAllNum(1,1)"}),
              std::vector<bool>(3, true));
    const std::set<std::string> wanted{"/23/popup.html",
                                       "/css/bootstrap.css",
                                       "/js/jquery.min.js",
                                       "/js/jquery.validate.js",
                                       "/js/bootstrap.min.js",
                                       "/js/main.js",
                                       "/png/134",
                                       "/23/pelmo128.png",
                                       "/png/glyphicons-halflings.png",
                                       "/png/glyphicons-halflings-white.png"};
    AwaitServed(wanted);
    m_page.Spin(200ms);
    EXPECT_EQ(ServedPaths(), wanted);
    EXPECT_TRUE(m_page.Missing().empty()) << "404 for " << m_page.Missing().begin()->first;
    // The libraries ran: jQuery, the validation plug-in and the tab plug-in are there.
    EXPECT_EQ(m_page.Eval("jQuery.fn.jquery + '|' + typeof jQuery.fn.validate + '|' + typeof jQuery.fn.tab"),
              "1.7.2|function|function");
}

TEST_F(PageRequests, OptionsPageFindsEverythingItUses) {
    ASSERT_TRUE(m_page.Load("/23/options.html"));
    const std::set<std::string> wanted{
        "/23/options.html",  "/css/bootstrap.css",     "/css/bootstrap-responsive.css",
        "/js/jquery.min.js", "/js/jquery.validate.js", "/js/bootstrap.min.js",
        "/js/main.js"};
    AwaitServed(wanted);
    EXPECT_EQ(ServedPaths(), wanted);
    EXPECT_TRUE(m_page.Missing().empty());
}

// The counting above would be worthless if a missing name did not show up as one.
TEST_F(PageRequests, UnknownNamesAnswer404) {
    ASSERT_TRUE(m_page.Load("/23/popup.html"));
    PageItem item = NumberedItem(1);
    item.picurl = "/png/no-such-picture";
    ASSERT_EQ(m_page.RunBatch({"ClearItems()", AddAllItemCall(item.Values())}), std::vector<bool>(2, true));
    for (auto waited = 0ms; waited < 3000ms && m_page.Missing().empty(); waited += 50ms) m_page.Spin(50ms);
    EXPECT_EQ(m_page.Missing().count("/png/no-such-picture"), 1u);
}

// ---- layout -----------------------------------------------------------------------------------------

struct LongTextCase {
    const char* name;
    std::string title;
    std::string date;
};

void PrintTo(const LongTextCase& c, std::ostream* os) { *os << c.name; }

class LongText : public PageTest, public testing::WithParamInterface<LongTextCase> {};

// Text with no break opportunity wraps inside its entry instead of running out of the list to the right
// and bringing up a horizontal scrollbar.
TEST_P(LongText, WrapsInsideTheEntry) {
    PageItem item = NumberedItem(1);
    item.title = GetParam().title;
    item.date = GetParam().date;
    Refresh({item});
    EXPECT_EQ(Js("var l=document.getElementById('all_notify'); l.scrollWidth-l.clientWidth"), "0")
        << "the list scrolls sideways";
    EXPECT_EQ(Js("var c=document.querySelector('#all_notify .span8').getBoundingClientRect();"
                 "[].every.call(document.querySelectorAll('#all_notify .span8 > *'),"
                 "function(e){return e.getBoundingClientRect().right<=c.right+0.5})"),
              "true");
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LongText,
    testing::Values(
        LongTextCase{"ModelNumberTitle", "XJ-" + std::string(160, '7') + "-PRO", "Mon, 06 May 2024"},
        LongTextCase{"UrlTitle", "http://deals.test/" + std::string(120, 'a') + "?b=" + std::string(60, 'c'),
                     "Mon, 06 May 2024"},
        LongTextCase{"LongDate", "t", std::string(200, '9')},
        LongTextCase{"ChineseTitle", std::string(60, 'x') + "限时特价电饭煲限时特价电饭煲限时特价电饭煲",
                     "Mon, 06 May 2024"}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- screenshot -------------------------------------------------------------------------------------

std::filesystem::path ArtifactDir() {
    const char* dir = std::getenv("NOTIFIER_ARTIFACTS_DIR");
    std::filesystem::path path = dir && *dir ? dir : std::filesystem::current_path() / "artifacts";
    std::filesystem::create_directories(path);
    return path;
}

// The dark pixels of a square of the snapshot, as a bit string.
std::string Ink(cairo_surface_t* shot, int left, int top, int size) {
    const unsigned char* data = cairo_image_surface_get_data(shot);
    const int stride = cairo_image_surface_get_stride(shot);
    std::string ink;
    for (int y = top; y < top + size; ++y) {
        for (int x = left; x < left + size; ++x) {
            const unsigned char* p = data + y * stride + x * 4;  // BGRA
            ink += (p[0] + p[1] + p[2]) < 3 * 128 ? '1' : '0';
        }
    }
    return ink;
}

// Glyphs of four different characters differ; when a font is missing they are the same empty box.
// Characters without any glyph, drawn the same way, show what such boxes look like.
TEST_F(PageTest, ChineseRendersAsGlyphs) {
    Refresh({NumberedItem(1), NumberedItem(2, "1"), NumberedItem(3)});
    Page().Spin(300ms);
    cairo_surface_t* popup = Page().Snapshot();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(cairo_surface_write_to_png(popup, (ArtifactDir() / "popup_page.png").c_str()),
              CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(popup);

    Js(R"js((function () {
        function cell(ch, i, row) {
            var s = document.createElement('span');
            s.textContent = ch;
            s.style.cssText = 'position:fixed;z-index:9;width:48px;height:48px;line-height:48px;font-size:40px;'
                + 'text-align:center;background:#fff;color:#000;left:' + (10 + 60 * i) + 'px;top:' + row + 'px';
            document.body.appendChild(s);
        }
        Array.from('所有提醒').forEach(function (c, i) { cell(c, i, 470); });
        ['\u0378', '\u0379', '\u0380', '\u0381'].forEach(function (c, i) { cell(c, i, 525); });
        return 0;
    })())js");
    Page().Spin(300ms);
    cairo_surface_t* shot = Page().Snapshot();
    ASSERT_NE(shot, nullptr);
    ASSERT_EQ(cairo_surface_status(shot), CAIRO_STATUS_SUCCESS);
    ASSERT_GE(cairo_image_surface_get_width(shot), 300);
    ASSERT_GE(cairo_image_surface_get_height(shot), 573);
    EXPECT_EQ(cairo_surface_write_to_png(shot, (ArtifactDir() / "glyph_cells.png").c_str()),
              CAIRO_STATUS_SUCCESS);

    std::vector<std::string> chinese, blank;
    for (int i = 0; i < 4; ++i) {
        chinese.push_back(Ink(shot, 10 + 60 * i, 470, 48));
        blank.push_back(Ink(shot, 10 + 60 * i, 525, 48));
    }
    cairo_surface_destroy(shot);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(blank[i], blank[0]) << "characters without glyphs should look alike";
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(chinese[i].find('1'), std::string::npos) << "no ink for character " << i;
        EXPECT_NE(chinese[i], blank[0]) << "character " << i << " drawn as a missing glyph";
        for (int j = i + 1; j < 4; ++j)
            EXPECT_NE(chinese[i], chinese[j]) << i << " and " << j << " look alike";
    }
}

}  // namespace
