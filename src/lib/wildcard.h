// The wildcard matcher of the string functions and the file-list walker:
// "*" any run of characters, "?" one character, anything else itself
// ignoring case; anchored at the start of the text, open at its end, and
// without backtracking (a literal run after "*" takes its first fit).
#pragma once

#include "lib/text_ops.h"

// Length in units of the text that `pattern` matches from the start of
// `text`; 0 for no match (an empty text or pattern never matches).
size_t wild_match(const Steps& steps, Span<char> text, Span<char> pattern);
size_t wild_match(const Steps& steps, Span<wchar_t> text, Span<wchar_t> pattern);

// Characters of `pattern` that are not "*": the least text a match needs.
size_t wild_min_chars(const Steps& steps, Span<char> pattern);
size_t wild_min_chars(const Steps& steps, Span<wchar_t> pattern);
