// The runner's host functions and their handler. Function numbers are the
// entries' positions in the table.
#include "console_functions.h"

#include <string.h>
#include <string>
#include "console_input.h"
#include "console_output.h"
#include "kestr44i.h"

namespace {

enum ConsoleFunction : int32_t { FN_STDOUT = 0, FN_STDERR = 1, FN_STDIN = 2, FN_STDINEOF = 3 };

constexpr KeywordEntry function_entry(uint32_t number, const char* name, uint32_t required,
                                      uint32_t kinds) {
    KeywordEntry entry{number, KT_FUNCTION, kinds, 0, required, 0, {}};
    uint16_t length = 0;
    while (name[length]) {
        entry.name[length] = name[length];
        ++length;
    }
    entry.length = length;
    return entry;
}

ExtenderValue empty_record() {
    ExtenderValue record;
    memset(&record, 0, sizeof record);
    return record;
}

int answer_integer(ResultCallbackFn callback, ExtenderContext* context, int32_t value) {
    ExtenderValue record = empty_record();
    record.flags = VF_INT;
    record.integer = value;
    return callback(0, nullptr, context, &record);
}

// In UTF-8 mode the line is handed over as wide text, so that nothing is
// lost on the way to the engine's code page.
int answer_line(ResultCallbackFn callback, ExtenderContext* context, const std::string& line) {
    ExtenderValue record = empty_record();
    std::wstring wide;
    if (output_is_utf8()) {
        int length = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
        wide.assign(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
        if (length > 0) MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, &wide[0], length);
        record.flags = VF_UNICODE;
        record.text = &wide[0];
    } else {
        record.flags = VF_STRING;
        record.text = const_cast<char*>(line.c_str());
    }
    return callback(0, nullptr, context, &record);
}

int fail(ResultCallbackFn callback, ExtenderContext* context, const char* text) {
    ExtenderValue record = empty_record();
    record.flags = VF_STRING;
    record.text = const_cast<char*>(text);
    return callback(KESTR_RESULT_SEVERE_ERROR, nullptr, context, &record);
}

const char* text_argument(const ExtenderValue* arguments, int32_t count) {
    if (count < 1 || !(arguments[0].flags & VF_STRING) || !arguments[0].text) return "";
    return static_cast<const char*>(arguments[0].text);
}

int write_function(HANDLE stream, ResultCallbackFn callback, ExtenderContext* context,
                   const ExtenderValue* arguments, int32_t count) {
    return answer_integer(callback, context, write_line(stream, text_argument(arguments, count)) ? 1 : 0);
}

}  // namespace

// The engine reads the table up to its empty entry; the order is free.
const KeywordEntry kConsoleFunctions[] = {
    function_entry(FN_STDOUT, "stdout", 1, AK_ANSI),
    function_entry(FN_STDERR, "stderr", 1, AK_ANSI),
    function_entry(FN_STDIN, "stdin", 0, 0),
    function_entry(FN_STDINEOF, "stdineof", 0, 0),
    KeywordEntry{},
};

int __stdcall console_function_handler(HWND, uintptr_t, uint32_t magic, int32_t function,
                                       ResultCallbackFn callback, ExtenderContext* context, uint32_t*,
                                       ExtenderValue* arguments, int32_t count, ExtenderValue*) {
    if (magic != EXTENDER_CALL_MAGIC || !callback) return KESTR_RESULT_SEVERE_ERROR;
    switch (function) {
    case FN_STDOUT: return write_function(GetStdHandle(STD_OUTPUT_HANDLE), callback, context, arguments, count);
    case FN_STDERR: return write_function(GetStdHandle(STD_ERROR_HANDLE), callback, context, arguments, count);
    case FN_STDIN: {
        std::string line;
        read_input_line(&line);
        return answer_line(callback, context, line);
    }
    case FN_STDINEOF: return answer_integer(callback, context, input_at_end() ? 1 : 0);
    default:
        // The runner sets no hook flags; a hook that comes anyway needs nothing.
        if (function < 0) return 0;
        return fail(callback, context, "qob: no such host function");
    }
}
