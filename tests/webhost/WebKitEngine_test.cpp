#include "webhost/WebKitEngine.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/WindowManager.h"
#include "tests/webhost/TestResources.h"

using WebWindow::EventArgs;
using WebWindow::EventSource;
using WebWindow::IEventSink;
using WebWindow::WebKitEngine;

namespace {

struct CountingSink : IEventSink {
    void Invoke(int, const EventArgs&) override { ++calls; }
    int calls = 0;
};

// Without a started view the engine refuses what needs a document, and answers script calls at once.
TEST(WebKitEngineWithoutView, FailsFastAndConnectsOnlyBrowserSinks) {
    WebKitEngine engine(TestResources(), kTestResourcePrefix, "/x");
    EXPECT_FALSE(engine.Create(nullptr, {0, 0, 10, 10}));  // no native container to live in
    EXPECT_FALSE(engine.HasDocument());

    bool answered = false;
    engine.RunScripts({"1", "2", "3"}, [&](std::vector<bool> flags) {
        answered = true;
        EXPECT_EQ(flags, (std::vector<bool>{false, false, false}));
    });
    EXPECT_TRUE(answered);

    CountingSink sink;
    EXPECT_EQ(engine.Advise(EventSource::Document, "", &sink), 0u);
    EXPECT_EQ(engine.Advise(EventSource::Element, "all_notify_setread", &sink), 0u);
    EXPECT_EQ(engine.Advise(EventSource::Browser, "", nullptr), 0u);
    const uint32_t cookie = engine.Advise(EventSource::Browser, "", &sink);
    EXPECT_NE(cookie, 0u);
    EXPECT_FALSE(engine.Unadvise(EventSource::Document, cookie));
    EXPECT_TRUE(engine.Unadvise(EventSource::Browser, cookie));
    EXPECT_FALSE(engine.Unadvise(EventSource::Browser, cookie));
}

}  // namespace
