#include "webhost/WebKitEngine.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include "platform/WindowManager.h"
#include "tests/webhost/TestResources.h"

using WebWindow::EventArgs;
using WebWindow::EventSource;
using WebWindow::IEventSink;
using WebWindow::WebKitEngine;

// JavaScriptCore keeps process-wide tables it never frees; reported at exit in sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libjavascriptcoregtk-4.1.so\n"; }

namespace {

// Runs the batch runner in a bare JavaScriptCore context (no display needed) and reads its answer.
class BatchScriptTest : public ::testing::Test {
  protected:
    // One machine for the suite, never torn down: its destructor runs JavaScriptCore's own copy of
    // shared_ptr code that UBSan's vptr check misreads in sanitizer builds.
    void SetUp() override {
        static JSCVirtualMachine* const machine = jsc_virtual_machine_new();
        m_context = jsc_context_new_with_virtual_machine(machine);
    }
    void TearDown() override { g_object_unref(m_context); }

    std::vector<bool> Run(const std::vector<std::string>& texts) {
        const std::string script = WebKitEngine::BatchScript(texts);
        JSCValue* result =
            jsc_context_evaluate(m_context, script.c_str(), static_cast<gssize>(script.size()));
        std::vector<bool> flags;
        EXPECT_TRUE(jsc_value_is_array(result)) << script;
        JSCValue* length = jsc_value_object_get_property(result, "length");
        for (int i = 0; i < jsc_value_to_int32(length); ++i) {
            JSCValue* item = jsc_value_object_get_property_at_index(result, static_cast<guint>(i));
            EXPECT_TRUE(jsc_value_is_boolean(item));
            flags.push_back(jsc_value_to_boolean(item));
            g_object_unref(item);
        }
        g_object_unref(length);
        g_object_unref(result);
        return flags;
    }

    std::string Global(const char* name) {
        JSCValue* value = jsc_context_get_value(m_context, name);
        gchar* text = jsc_value_to_string(value);
        std::string out = text;
        g_free(text);
        g_object_unref(value);
        return out;
    }

    JSCContext* m_context = nullptr;
};

TEST_F(BatchScriptTest, OneFlagPerTextFalseOnlyForTheFailingOnes) {
    EXPECT_EQ(Run({"var log = []", "log.push('a')", "throw new Error('boom')", "this is not script (",
                   "log.push('b')", "undefinedFunction()", "log.push('c')"}),
              (std::vector<bool>{true, true, false, false, true, false, true}));
    EXPECT_EQ(Global("log"), "a,b,c");
}

TEST_F(BatchScriptTest, TextsRunInTheGlobalScopeInOrder) {
    Run({"var counter = 1", "function Bump() { counter *= 10; }", "Bump()", "counter += 2"});
    EXPECT_EQ(Global("counter"), "12");
}

TEST_F(BatchScriptTest, TextsArriveUnchangedWhateverTheyHold) {
    const std::vector<std::string> hostile = {
        R"(var s1 = "quote \" and backslash \\ and ' single")",
        "var s2 = 'line\\nbreak'; var raw = `a\nb\tc`",
        "// a comment ends at a carriage return\rvar afterCr = 1",
        "var s3 = '\xE2\x80\xA8\xE2\x80\xA9'",  // U+2028 and U+2029 inside a string literal
        "var s4 = '</script><b>x</b>'",
        "var s5 = '\xE4\xB8\xAD\xE6\x96\x87'",
        "var s6 = 'ctl\x01\x1f'",
        "]); var escaped = true; ([",
    };
    EXPECT_EQ(Run(hostile), (std::vector<bool>{true, true, true, true, true, true, true, false}));
    EXPECT_EQ(Global("s1"), R"(quote " and backslash \ and ' single)");
    EXPECT_EQ(Global("raw"), "a\nb\tc");
    EXPECT_EQ(Global("afterCr"), "1");
    EXPECT_EQ(Global("s3"), "\xE2\x80\xA8\xE2\x80\xA9");
    EXPECT_EQ(Global("s4"), "</script><b>x</b>");
    EXPECT_EQ(Global("s5"), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(Global("s6"), "ctl\x01\x1f");
    EXPECT_EQ(Global("escaped"), "undefined");
}

TEST_F(BatchScriptTest, InvalidUtf8StillGivesOneFlagPerText) {
    EXPECT_EQ(Run({"var bad = 'a\xff\xfe'", "var good = 1"}), (std::vector<bool>{true, true}));
    EXPECT_EQ(Global("good"), "1");
}

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
