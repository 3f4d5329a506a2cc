// A live engine that runs small scripts through the statement executor: the
// text is scrambled into a real script buffer and read back line by line
// as the run loop does (comments, labels and function bodies passed over).
#pragma once

#include <string>
#include <vector>
#include "base/error_info.h"
#include "base/script_buffer.h"
#include "engine_fixture.h"
#include "lang/evaluator.h"
#include "lang/statements.h"
#include "lang/token_cache.h"
#include "lang/variables.h"

class StatementTest : public EngineTest {
protected:
    ScriptBuffer buffer{};
    std::string stopped_line;  // the line the last run stopped on
    int outcome = 1;           // the last ExecuteStatement result
    int statements = 0;        // statements executed by the last run
    bool no_jump_cache = false;

    ScriptBuffer load(std::string text) {
        NormaliseLineEnds(&text[0]);
        return scrambled(text);
    }

    // Offset of the statement after a label, -1 when the line holds none.
    static int statement_offset(const char* line) {
        if (line[0] != ':') return 0;
        int i = 1;
        while (line[i] && line[i] != ' ' && line[i] != '\t' && line[i] != ';') ++i;
        while (line[i] == ' ' || line[i] == '\t') ++i;
        return (line[i] == '\0' || line[i] == ';') ? -1 : i;
    }

    static bool starts_nocase(const char* line, const char* prefix) {
        return _strnicmp(line, prefix, strlen(prefix)) == 0;
    }

    // Runs the loaded buffer from `position`; returns the error number it
    // stopped with (0 at the end or after Return ended it).
    int run_buffer(uint32_t position = 0, int step_limit = 20000) {
        char line[LINE_BUFFER_BYTES];
        uint32_t start = 0;
        bool in_definition = false;
        outcome = 1;
        statements = 0;
        stopped_line.clear();
        while (ReadLine(st, line, sizeof line, buffer, &start, &position)) {
            if (line[0] == '#') {
                if (starts_nocase(line, "#define")) in_definition = true;
                if (starts_nocase(line, "#end")) in_definition = false;
                continue;
            }
            if (in_definition || line[0] == '\0' || line[0] == ';') continue;
            const int offset = statement_offset(line);
            if (offset < 0) continue;
            Value result = int_value();
            outcome = ExecuteStatement(st, &result, line, static_cast<uint32_t>(offset), &position, start,
                                       buffer, no_jump_cache, CachedLineRef{});
            release_value(st, &result);
            ++statements;
            if (outcome != 1) {
                stopped_line = line;
                break;
            }
            if (statements > step_limit) {
                ADD_FAILURE() << "the script does not end";
                break;
            }
        }
        return st->error;
    }

    int run(const std::string& script) {
        buffer = load(script);
        return run_buffer();
    }

    // Clears the error of a run that is expected to fail.
    int run_error(const std::string& script) {
        run(script);
        return take_error();
    }

    // The plain byte at a buffer position.
    uint8_t byte_at(uint32_t position) {
        auto* p = static_cast<uint8_t*>(GlobalLock(buffer.handle));
        const uint8_t b = unscramble_byte(p[position], position + buffer.base);
        GlobalUnlock(buffer.handle);
        return b;
    }
};
