// Script buffers: script text held scrambled in a global memory block, read
// back line by line; loading, #include expansion and line location.
#pragma once

#include <windows.h>
#include <stdint.h>
#include "base/engine_state.h"

struct Value;

// A script or a function body. `base` is 0 for a script and, for a copied
// function body, the position the body had in its script; it keeps the
// scrambling and the reported line numbers of the original.
struct ScriptBuffer {
    HGLOBAL handle;
    uint32_t length;  // position of the terminating zero byte
    uint32_t base;
};

// Byte b at position p (base included) is stored as permutation[b] ^ (p & 255).
inline uint8_t scramble_byte(uint8_t b, uint32_t position) {
    return static_cast<uint8_t>(ScriptBytePermutation[b] ^ (position & 0xFF));
}
inline uint8_t unscramble_byte(uint8_t stored, uint32_t position) {
    return ScriptByteInverse[static_cast<uint8_t>(stored ^ (position & 0xFF))];
}

// Reads the logical line at *position into line (at most capacity - 2
// characters); *line_start receives its first non-blank position and
// *position moves past its end. Returns 1 with a line, 0 at the end. A line
// that is too long is cut and leaves st->pending_line_error = 3722.
// `held`: the buffer's text when the caller holds it locked (HeldScript).
int ReadLine(EngineState* st, char* line, size_t capacity, const ScriptBuffer& buffer,
             uint32_t* line_start, uint32_t* position, const uint8_t* held = nullptr);

// Keeps a buffer locked while its lines are read one after another: locking
// a movable block takes the process heap's lock, which would otherwise be
// paid on every line. A parked buffer is already locked and is read as it
// is. When the lock fails, text() is null and ReadLine locks (and reports)
// by itself.
class HeldScript {
public:
    HeldScript(const EngineState* st, HGLOBAL handle) : handle_(handle) {
        if (handle && handle == st->parked_script) {
            text_ = st->parked_text;
        } else {
            text_ = static_cast<const uint8_t*>(GlobalLock(handle));
            owned_ = text_ != nullptr;
        }
    }
    ~HeldScript() {
        if (owned_) GlobalUnlock(handle_);
    }
    HeldScript(const HeldScript&) = delete;
    HeldScript& operator=(const HeldScript&) = delete;
    const uint8_t* text() const { return text_; }

private:
    HGLOBAL handle_;
    const uint8_t* text_ = nullptr;
    bool owned_ = false;
};

// Keeps a function body locked past the end of its run, so that a loop
// calling the function does not lock and unlock it on every call (each
// takes the process heap's lock). One body is parked at a time; the lock
// goes when another is parked, when the outermost run ends, and before
// the bodies are freed.
void park_script(EngineState* st, HGLOBAL handle);
void unpark_script(EngineState* st);

// Writes bytes over the buffer at a position, scrambled (the jump cache).
void write_script_bytes(EngineState* st, const ScriptBuffer& buffer, uint32_t position,
                        const uint8_t* bytes, size_t count);

// Load-time text steps, in the order a script goes through them.
// A text of at least two bytes whose first 16-bit unit is a byte-order mark
// (either order) is UTF-16.
inline bool starts_with_utf16_mark(const uint8_t* text, uint32_t size) {
    return size >= 2 && ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF));
}
uint32_t ConvertUnicodeScript(EngineState* st, uint8_t* text, uint32_t capacity);
void NormaliseLineEnds(char* text);
void ScrambleScript(EngineState* st, uint8_t* text, uint32_t length);
// The file name, line number and text of a buffer position.
struct LineLocation {
    char file[MAX_PATH];
    char text[LINE_BUFFER_BYTES];
    int32_t line;              // 0 when the position lies beyond the end
    int32_t line_in_function;  // within the running user-defined function
    int32_t marker_level;      // -1 when the buffer has no origin markers
};
int32_t LocateLine(EngineState* st, const ScriptBuffer& buffer, uint32_t position, uint16_t function,
                   LineLocation* out);

