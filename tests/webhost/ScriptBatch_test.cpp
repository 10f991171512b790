#include "webhost/ScriptBatch.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include "platform/ScriptLiteral.h"

using WebWindow::ScriptBatch;

// JavaScriptCore keeps process-wide tables it never frees; reported at exit in sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libjavascriptcoregtk-4.1.so\n"; }

namespace {

// Runs the batch runner in a bare JavaScriptCore context (no display needed) and reads its answer.
class ScriptBatchTest : public ::testing::Test {
  protected:
    // One machine for the suite, never torn down: its destructor runs JavaScriptCore's own copy of
    // shared_ptr code that UBSan's vptr check misreads in sanitizer builds.
    void SetUp() override {
        static JSCVirtualMachine* const machine = jsc_virtual_machine_new();
        m_context = jsc_context_new_with_virtual_machine(machine);
    }
    void TearDown() override { g_object_unref(m_context); }

    std::vector<bool> Run(const std::vector<std::string>& texts) {
        // The runner's body as a function called with the texts, which the engine passes as an argument.
        const std::string script = std::string("(function (texts) {") + ScriptBatch::Body() + "})(" +
                                   platform::ScriptLiteral(ScriptBatch::TextList(texts)) + ");";
        g_autoptr(JSCValue) result =
            jsc_context_evaluate(m_context, script.c_str(), static_cast<gssize>(script.size()));
        std::vector<bool> flags;
        EXPECT_TRUE(jsc_value_is_string(result)) << script;
        g_autofree gchar* marks = jsc_value_to_string(result);
        for (const char* mark = marks; *mark != '\0'; ++mark) {
            EXPECT_TRUE(*mark == '1' || *mark == '0') << marks;
            flags.push_back(*mark == '1');
        }
        return flags;
    }

    std::string Global(const char* name) {
        g_autoptr(JSCValue) value = jsc_context_get_value(m_context, name);
        g_autofree gchar* text = jsc_value_to_string(value);
        return text;
    }

    JSCContext* m_context = nullptr;
};

TEST_F(ScriptBatchTest, OneFlagPerTextFalseOnlyForTheFailingOnes) {
    EXPECT_EQ(Run({"var log = []", "log.push('a')", "throw new Error('boom')", "this is not script (",
                   "log.push('b')", "undefinedFunction()", "log.push('c')"}),
              (std::vector<bool>{true, true, false, false, true, false, true}));
    EXPECT_EQ(Global("log"), "a,b,c");
}

TEST_F(ScriptBatchTest, TextsRunInTheGlobalScopeInOrder) {
    Run({"var counter = 1", "function Bump() { counter *= 10; }", "Bump()", "counter += 2"});
    EXPECT_EQ(Global("counter"), "12");
}

TEST_F(ScriptBatchTest, TextsArriveUnchangedWhateverTheyHold) {
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

TEST_F(ScriptBatchTest, ACallWithJsonArgumentsActsAsItsText) {
    const std::vector<std::string> texts = {
        "var got = []; function Take(a, b) { got.push(JSON.stringify([a, b])); }",
        R"(Take("x\u0041<\/",[1,{"k":null}]))",  // made directly
        "Take(1),Take(2)",                       // two calls: left to eval
        "Take('single')",                        // not JSON
        "Take(3)(4)",                            // a call of what Take returns
        "Take()",
        "Missing(1)",
        "Take(5",
        "var all = got.join(' ')",
    };
    EXPECT_EQ(Run(texts), (std::vector<bool>{true, true, true, true, false, true, false, false, true}));
    EXPECT_EQ(Global("all"),
              R"(["xA</",[1,{"k":null}]] [1,null] [2,null] ["single",null] [3,null] [null,null])");
}

TEST_F(ScriptBatchTest, InvalidUtf8AndNulStillGiveOneFlagPerText) {
    const std::string nul("var nul = 'x\0y'", sizeof "var nul = 'x\0y'" - 1);
    EXPECT_EQ(Run({"var bad = 'a\xff\xfe'", nul, "var good = 1"}), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(Global("bad"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Global("nul"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(Global("good"), "1");
}

}  // namespace
