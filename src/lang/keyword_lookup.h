// Finding the keyword, user-defined, extender or host function whose name
// begins at a text position, and the start-up check of the keyword table.
#pragma once

#include <stddef.h>
#include "kestr44i.h"

struct EngineState;

// Looks up the name that begins `text` (the lexer's current position, which
// is not advanced). whole_word: the lexer's word mode, in which a name must
// end before a word character, a word followed by "." or by "[...]." gives
// the object expression (KWID_OBJECT), and the host table is searched too;
// otherwise operator mode: longest match only. Returns the id, also stored
// as the current token id, or -1 (the id is then left alone). The matched
// length is the entry's name length, or for KWID_OBJECT the length of the
// word before the "." or "[".
int LookupKeyword(EngineState* st, bool whole_word, const char* text, size_t* matched_length);

// Checks a keyword table's invariants: entries grouped by ascending first
// byte (caption "FSOP782") and id equal to index ("FNP983"). The first
// violation of each kind is shown in a message box whose text is the entry's
// name; the count of all violations is returned. The lookup runs it once per
// process on KeywordTable.
int check_keyword_table(EngineState* st, const KeywordEntry* table, size_t count);
