// Writing lines straight to the standard handles: no C run-time buffering,
// so standard output and standard error keep their order when both go to
// one place.
#include "console_output.h"

#include <string.h>
#include <string>

namespace {

bool g_utf8 = false;

bool write_all(HANDLE stream, const char* bytes, size_t length) {
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(stream, bytes, static_cast<DWORD>(length), &written, nullptr) || written == 0)
            return false;
        bytes += written;
        length -= written;
    }
    return true;
}

std::string ansi_to_utf8(const char* text) {
    int wide_length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide_length <= 0) return text;
    std::wstring wide(static_cast<size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], wide_length);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return text;
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length - 1));
    return utf8;
}

}  // namespace

void set_output_utf8(bool on) {
    g_utf8 = on;
    // Fails harmlessly when the streams are files or pipes.
    if (on) SetConsoleOutputCP(CP_UTF8);
}

bool output_is_utf8() { return g_utf8; }

bool write_line(HANDLE stream, const char* text) {
    if (!text) text = "";
    if (g_utf8) {
        std::string utf8 = ansi_to_utf8(text);
        if (!write_all(stream, utf8.data(), utf8.size())) return false;
    } else if (!write_all(stream, text, strlen(text))) {
        return false;
    }
    return write_all(stream, "\r\n", 2);
}
