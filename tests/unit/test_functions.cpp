// User-defined functions: header parsing, the descriptor table, body copies,
// and what InvokeFunction sets up and restores around a body.
#include <vector>
#include "base/error_numbers.h"
#include "recording_host.h"
#include "lang/error_driver.h"
#include "lang/functions.h"
#include "lang/host_call.h"
#include "lang/keyword_table.h"
#include "lang/pump.h"
#include "lang/statements.h"

namespace {

class Functions : public EngineTest {
protected:
    int run(const std::string& text) { return run_script(text); }

    int index_of(const char* name) {
        for (int i = 0; i < st->function_count; ++i)
            if (strcmp(function_descriptor(st, i)->name, name) == 0) return i;
        return -1;
    }

    // The body text as the run loop would read it.
    std::string body_text(int index) {
        ScriptBuffer buffer{};
        if (!g_function_body_buffer || !g_function_body_buffer(st, static_cast<uint16_t>(index), &buffer))
            return "<none>";
        auto* bytes = static_cast<const uint8_t*>(GlobalLock(buffer.handle));
        std::string text;
        for (uint32_t p = 0; p <= buffer.length; ++p) text += static_cast<char>(unscramble_byte(bytes[p], p + buffer.base));
        GlobalUnlock(buffer.handle);
        return text;
    }

    FunctionDescriptor parsed{};
    int parse(const char* text) {
        memset(&parsed, 0, sizeof parsed);
        st->skipping_definition = 0;
        return ParseFunctionHeader(st, text, &parsed);
    }
};

// ------------------------------------------------------------------ headers

// An empty name between commas, a missing ")" and a seventeenth parameter
// are shown by the scripts tests/scripts/functions/define_errors_syntax_*.
TEST_F(Functions, HeaderSyntaxErrors) {
    // No list at all, no name, text after the list.
    for (const char* bad : {"f(a,)", "f", "   ", "(a)", "f(a) b", "f(a b)"}) EXPECT_EQ(parse(bad), 0) << bad;
}

TEST_F(Functions, HeaderLimits) {
    const std::string thirty(30, 'n');
    EXPECT_EQ(parse((thirty + "()").c_str()), 1);
    EXPECT_EQ(parsed.name_length, 30);
    EXPECT_EQ(parse((thirty + "x()").c_str()), 0);
    EXPECT_EQ(parse(("f(" + thirty + ")").c_str()), 1);
    EXPECT_EQ(parse(("f(" + thirty + "x)").c_str()), 0);
}

// ------------------------------------------------------------------ table and bodies

TEST_F(Functions, BodyCopyKeepsItsScriptPositionAndScrambling) {
    const std::string script = "a = 1\r\n#DefineFunction f(n)\r\n  x = n\r\nReturn x * 2\r\n   #EndFunction\r\nb = f(4)";
    ASSERT_EQ(run(script), 1);
    EXPECT_EQ(int_var("b"), 8);
    const int index = index_of("f");
    ASSERT_GE(index, 0);
    const FunctionDescriptor* d = function_descriptor(st, index);
    EXPECT_EQ(d->body_start, script.find("  x = n"));
    EXPECT_EQ(d->subroutine, 0);
    EXPECT_EQ(d->assign_target, -1);
    // Up to the end line's indentation, the folded CR LF blanks kept; then the terminator.
    EXPECT_EQ(body_text(index), std::string("  x = n \nReturn x * 2 \n   ") + '\0');
}

TEST_F(Functions, BodyOfEndLineWithoutLineEnd) {
    ASSERT_EQ(run("#DefineSubroutine s()\ny = 5\n#EndSubroutine"), 1);
    const int index = index_of("s");
    ASSERT_GE(index, 0);
    EXPECT_EQ(function_descriptor(st, index)->subroutine, 1);
    EXPECT_EQ(body_text(index), std::string("y = 5") + '\0');
}

// A body stays locked from one call to the next only while the run that
// calls it lasts; after the run no lock of it is left.
TEST_F(Functions, BodyIsUnlockedWhenTheRunEnds) {
    ASSERT_EQ(run("#DefineFunction f(n)\nReturn n + 1\n#EndFunction\nFor i = 1 To 3\n  x = f(i)\nNext\n"), 1);
    EXPECT_EQ(int_var("x"), 4);
    const FunctionDescriptor* d = function_descriptor(st, index_of("f"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(st->parked_script, nullptr);
    EXPECT_EQ(GlobalFlags(d->body) & GMEM_LOCKCOUNT, 0u);
}

TEST_F(Functions, TableHolds512FunctionsInBlocksOf16) {
    std::string script;
    for (int i = 0; i < 512; ++i) script += "#DefineFunction f" + std::to_string(i) + "()\nReturn " + std::to_string(i) + "\n#EndFunction\n";
    ASSERT_EQ(run(script + "last = f511()"), 1);
    EXPECT_EQ(st->last_run_error, 0);
    EXPECT_EQ(st->function_count, 512);
    EXPECT_EQ(int_var("last"), 511);
    EXPECT_NE(st->udf_blocks[31], nullptr);
    EXPECT_EQ(static_cast<FunctionDescriptor*>(st->udf_table[0]) + 15, st->udf_table[15]);
    run("#DefineFunction more()\n#EndFunction\n");
    EXPECT_EQ(st->last_run_error, 3626);
    EXPECT_EQ(st->function_count, 512);
    EXPECT_EQ(release_functions(st), 512);
    EXPECT_EQ(st->function_count, 0);
    for (HGLOBAL block : st->udf_blocks) EXPECT_EQ(block, nullptr);
}

// ------------------------------------------------------------------ invocation

struct Seen {
    int32_t scope, function_body, error_mode, cancel_mode, top_type, top_kind, nesting;
    uint16_t function;
    bool discard_refused;
};
Seen g_seen;

bool look_inside(EngineState* st, uintptr_t) {
    const StructureFrame* top = top_frame(st);
    g_seen = Seen{st->current_scope, st->function_body, st->error_handler_mode, st->cancel_handler_mode,
                  top ? top->type : -1, top ? static_cast<int32_t>(top->resume_position) : -1,
                  st->function_nesting, st->current_function, false};
    int freed = 0;
    g_seen.discard_refused = !DiscardFunctions(st, &freed) && st->error == 1665;
    st->error = 0;
    return true;
}

TEST_F(Functions, InvocationSetsUpAndRestoresTheCallersState) {
    ASSERT_EQ(run("#DefineFunction f()\n#EndFunction\n#DefineSubroutine s()\n#EndSubroutine\n"), 1);
    st->error_handler_mode = 1;
    st->cancel_handler_mode = 2;
    st->function_body = 0;
    const int32_t depth = st->structure_depth;
    Value result = int_value();
    const NativeHandler native{look_inside, 0};

    ASSERT_TRUE(InvokeFunction(st, UDF_ID_BASE + 0, &result, nullptr, 0, &native, CALL_COM_EVENT));
    EXPECT_EQ(g_seen.scope, 1);  // the first free record
    EXPECT_EQ(g_seen.function, 0);
    EXPECT_EQ(g_seen.function_body, 1);
    EXPECT_EQ(g_seen.error_mode, 0);
    EXPECT_EQ(g_seen.cancel_mode, -1);
    EXPECT_EQ(g_seen.top_type, FRAME_FUNCTION);
    EXPECT_EQ(g_seen.top_kind, CALL_COM_EVENT);
    EXPECT_EQ(g_seen.nesting, 1);
    EXPECT_TRUE(g_seen.discard_refused);
    EXPECT_EQ(result.v.flags, VF_INT);
    EXPECT_EQ(result.v.integer, 0);

    EXPECT_EQ(st->current_scope, 0);
    EXPECT_EQ(st->scopes[1].handle, nullptr);  // the record is free again
    EXPECT_EQ(st->current_function, NO_FUNCTION);
    EXPECT_EQ(st->error_handler_mode, 1);
    EXPECT_EQ(st->cancel_handler_mode, 2);
    EXPECT_EQ(st->function_body, 0);
    EXPECT_EQ(st->structure_depth, depth);
    EXPECT_EQ(st->function_nesting, 0);

    // A subroutine keeps the caller's table.
    ASSERT_TRUE(InvokeFunction(st, UDF_ID_BASE + 1, &result, nullptr, 0, &native, CALL_ORDINARY));
    EXPECT_EQ(g_seen.scope, 0);
    EXPECT_EQ(g_seen.function, 1);
    EXPECT_EQ(g_seen.top_kind, CALL_ORDINARY);
}

TEST_F(Functions, NoFreeScopeIs1672) {
    ASSERT_EQ(run("#DefineFunction f()\n#EndFunction\n"), 1);
    for (int id = 1; id < VARIABLE_TABLES; ++id) st->scopes[id].handle = st->scopes[0].handle;
    Value result = int_value();
    const int32_t depth = st->structure_depth;
    EXPECT_EQ(failed(InvokeFunction(st, UDF_ID_BASE, &result, nullptr, 0, nullptr, CALL_ORDINARY)), 1672);
    EXPECT_EQ(st->structure_depth, depth);
    for (int id = 1; id < VARIABLE_TABLES; ++id) st->scopes[id].handle = nullptr;
}

TEST_F(Functions, ArgumentsBindInOrderAndMissingOnesStayUnset) {
    ASSERT_EQ(run("#DefineFunction f(a, b)\nReturn a * 10 + IsDefined(b)\n#EndFunction\n"), 1);
    Value args[3];
    for (Value& arg : args) init_value(&arg);
    args[1].v.integer = 7;
    Value result = int_value();
    ASSERT_TRUE(InvokeFunction(st, UDF_ID_BASE, &result, args, 1, nullptr, CALL_ORDINARY));
    EXPECT_EQ(result.v.integer, 70);
    args[2].v.integer = 1;
    ASSERT_TRUE(InvokeFunction(st, UDF_ID_BASE, &result, args, 2, nullptr, CALL_ORDINARY));
    EXPECT_EQ(result.v.integer, 71);
}

TEST_F(Functions, ReturnedArraySurvivesItsLocalVariable) {
    ASSERT_EQ(run("#DefineFunction make()\narr = ArrDimension(3)\narr[1] = 42\nReturn arr\n#EndFunction\n"
                  "a = make()\nv = a[1]\nn = ArrInfo(a, 6)"), 1);
    EXPECT_EQ(st->last_run_error, 0);
    EXPECT_EQ(int_var("v"), 42);
    EXPECT_EQ(int_var("n"), 3);
}

// ------------------------------------------------------------------ host hooks

TEST_F(Functions, BodyLinesReachTheHostAtTheirScriptPositions) {
    const std::string script = "#DefineFunction f()\ninside = 1\n#EndFunction\nx = f()\n";
    lstrcpynA(st->script_path, "C:\\scripts\\main.qob", MAX_PATH);
    g_host = HostLog{};
    st->host_handler = reinterpret_cast<HostHandlerFn>(reinterpret_cast<void*>(recording_host));
    st->hook_flags = HOOK_FLAG_STATEMENT;
    ASSERT_EQ(run(script), 1);
    ASSERT_EQ(g_host.functions.size(), 2u);
    EXPECT_EQ(g_host.texts[0], "2");
    EXPECT_EQ(g_host.positions[0], script.find("x = f()"));
    EXPECT_EQ(g_host.texts[1], "3");  // inside the body
    EXPECT_EQ(g_host.positions[1], script.find("inside"));

    // A function defined by another script file announces the change both ways.
    g_host = HostLog{};
    st->hook_flags = HOOK_FLAG_SCRIPT;
    lstrcpynA(st->script_path, "C:\\scripts\\other.qob", MAX_PATH);
    ASSERT_EQ(run("y = f()"), 1);
    st->hook_flags = 0;
    st->host_handler = nullptr;
    ASSERT_EQ(g_host.functions.size(), 2u);
    EXPECT_EQ(g_host.functions[0], KESTR_HOOK_SCRIPT);
    EXPECT_EQ(g_host.texts[0], "C:\\scripts\\main.qob");
    EXPECT_EQ(g_host.words2[0], 1u);
    EXPECT_EQ(g_host.texts[1], "C:\\scripts\\other.qob");
    EXPECT_STREQ(st->script_path, "C:\\scripts\\other.qob");
}

}  // namespace
