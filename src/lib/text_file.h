// Text files for the array file functions: a reader that cuts a file into
// lines chunk by chunk, and a writer that collects output in a buffer.
#pragma once

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

struct EngineState;

// What a NUL byte in the file becomes.
enum class NulRule : uint8_t {
    Drop,     // left out of the line
    Replace,  // replaced by the reader's replacement character
    Refuse,   // error 1806
};

// Lines end at a line feed; carriage returns are dropped wherever they
// stand; text after the last line feed is one more line. The current line
// is NUL-terminated in `line` (`length` bytes) and may be changed in place
// until the next line is read.
struct LineReader {
    HANDLE file = INVALID_HANDLE_VALUE;
    NulRule nul_rule = NulRule::Drop;
    char nul_replacement = 0;
    char* chunk = nullptr;
    DWORD chunk_filled = 0, chunk_read = 0;
    bool at_end = false;
    char* line = nullptr;
    size_t length = 0, capacity = 0;
};

// Opens the file for reading (1800) and allocates the buffers (1588).
[[nodiscard]] bool open_lines(EngineState* st, LineReader* reader, const char* path, NulRule rule,
                              char replacement);
// Reads the next line; *got is false after the last one. Read errors 1801.
[[nodiscard]] bool next_line(EngineState* st, LineReader* reader, bool* got);
// Starts over at the beginning of the file.
[[nodiscard]] bool rewind_lines(EngineState* st, LineReader* reader);
void close_lines(LineReader* reader);

struct TextWriter {
    HANDLE file = INVALID_HANDLE_VALUE;
    char* buffer = nullptr;
    size_t used = 0;
};

// Creates or truncates the file (1800) and allocates the buffer (1588).
[[nodiscard]] bool create_text_file(EngineState* st, TextWriter* writer, const char* path);
// Appends bytes; write errors 1802.
[[nodiscard]] bool write_text(EngineState* st, TextWriter* writer, const char* data, size_t length);
// Writes what is buffered and closes the file; false with 1802 when the
// last write fails. Safe to call after a failure (it only closes then).
[[nodiscard]] bool close_text_file(EngineState* st, TextWriter* writer, bool flush);
