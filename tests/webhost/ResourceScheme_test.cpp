#include "webhost/ResourceScheme.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/webhost/TestResources.h"

using WebWindow::PageUrl;
using WebWindow::ResourceScheme;

namespace {

constexpr const char* kExe = "/opt/deals notifier/应用/notifier";

ResourceScheme TestScheme(const std::string& exePath = kExe) {
    return ResourceScheme(TestResources(), kTestResourcePrefix, exePath);
}

struct KeyCase {
    const char* requestPath;
    const char* key;
};

class ResourceKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ResourceKeyTest, MapsRequestPathsToBundleNames) {
    EXPECT_EQ(TestScheme().KeyFor(GetParam().requestPath), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ResourceKeyTest,
    ::testing::Values(
        KeyCase{"/opt/deals%20notifier/%E5%BA%94%E7%94%A8/notifier/23/popup.html", "/test/res/23/popup.html"},
        KeyCase{"/opt/deals notifier/应用/notifier/23/POPUP.HTML", "/test/res/23/popup.html"},
        KeyCase{"/png/134", "/test/res/png/134"}, KeyCase{"/CSS/Site.css", "/test/res/css/site.css"},
        KeyCase{"/opt/deals%20notifier/%E5%BA%94%E7%94%A8/notifier/23/pelmo128.png",
                "/test/res/23/pelmo128.png"},
        // Only the whole executable path is stripped, not a mere prefix of it.
        KeyCase{"/opt/deals notifier/应用/notifierX/23/popup.html",
                "/test/res/opt/deals notifier/应用/notifierx/23/popup.html"},
        KeyCase{"/opt/deals notifier/应用/notifier", "/test/res/opt/deals notifier/应用/notifier"},
        KeyCase{"png/134", "/test/res/png/134"}, KeyCase{"/bad%zzescape", ""}));

struct UrlCase {
    const char* exePath;
    const char* url;
};

class PageUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(PageUrlTest, EscapesTheExecutablePathAndComesBackToThePage) {
    const std::string url = PageUrl(GetParam().exePath);
    EXPECT_EQ(url, GetParam().url);
    // The path part, as WebKit hands it to the handler (still percent-encoded).
    const auto answer = TestScheme(GetParam().exePath).Lookup(url.substr(std::string("res://").size()));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.mimeType, "text/html; charset=utf-8");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PageUrlTest,
    ::testing::Values(UrlCase{"/usr/bin/notifier", "res:///usr/bin/notifier/23/popup.html"},
                      UrlCase{"/home/a b/n#1%", "res:///home/a%20b/n%231%25/23/popup.html"},
                      UrlCase{"/opt/应用/notifier", "res:///opt/%E5%BA%94%E7%94%A8/notifier/23/popup.html"}));

struct AnswerCase {
    const char* requestPath;
    int status;
    const char* mimeType;
};

class ResourceAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ResourceAnswerTest, AnswersWithBodyAndTypeOr404) {
    const auto answer = TestScheme().Lookup(GetParam().requestPath);
    EXPECT_EQ(answer.status, GetParam().status);
    EXPECT_EQ(answer.mimeType, GetParam().mimeType);
    EXPECT_EQ(answer.body != nullptr, GetParam().status == 200);
    if (answer.body) {
        EXPECT_GT(g_bytes_get_size(answer.body.get()), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, ResourceAnswerTest,
                         ::testing::Values(AnswerCase{"/png/134", 200, "image/png"},  // no extension: sniffed
                                           AnswerCase{"/23/pelmo128.png", 200, "image/png"},
                                           AnswerCase{"/js/page.js", 200, "text/javascript; charset=utf-8"},
                                           AnswerCase{"/Css/Site.CSS", 200, "text/css; charset=utf-8"},
                                           AnswerCase{"/png/135", 404, ""}, AnswerCase{"/23/", 404, ""},
                                           AnswerCase{"/", 404, ""}, AnswerCase{"/23/popup.html%00", 404, ""},
                                           AnswerCase{"/23/../23/popup.html", 404, ""}));

TEST(ResourceAnswer, BodyIsTheStoredFile) {
    const auto answer = TestScheme().Lookup("/css/site.css");
    ASSERT_TRUE(answer.body);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(answer.body.get(), &size));
    EXPECT_EQ(std::string(data, size), "#heading { color: rgb(1, 2, 3); }\n");
}

}  // namespace
