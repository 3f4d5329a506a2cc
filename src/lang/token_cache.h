// The token cache: the tokens of a script line kept from one run of the line
// to the next, so that a loop does not cut the same text into tokens and
// look the same words up again on every turn.
//
// An entry belongs to a place in a script and holds the bytes the line was
// read from; it serves only while the buffer holds the same bytes there, so
// a buffer replaced or rewritten in place is read afresh. Tokens are kept
// only for lines without %substitution%, whose text cannot change. A token
// is kept by the offset where it begins: whatever order the statement reads
// tokens in, the token at an offset is always the same, given the tables a
// word is looked up in. Words whose reading depends on more than the text (a
// dereferenced or persistent name, an array's element followed by a member)
// are never kept; a variable's slot is checked against the current variable
// table before it is used; and a change to the user-defined, extender or
// host function tables or to the code page drops every line's tokens.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct EngineState;
struct ScriptBuffer;
struct CachedLine;

// A kept token's text can be read this many bytes from its start, however
// short it is.
constexpr size_t CACHED_TEXT_PADDING = 32;
// No kept token.
constexpr uint16_t NO_TOKEN = 0xFFFF;

struct CachedToken {
    uint16_t begin;        // offset of its first character in the line
    uint16_t end;          // offset just past it
    uint16_t id;           // keyword id
    uint16_t slot;         // variable slot of a name
    uint16_t text_at;      // offset of its text in the entry's text store
    uint16_t text_length;
    uint8_t kind;          // TokenKind
};

// An entry as taken for one line: it is the line's only while its stamp is
// unchanged (a nested run may give the entry to another line meanwhile).
struct CachedLineRef {
    CachedLine* entry;
    uint32_t stamp;
};

// Reads the line at *position of a buffer whose text is held locked, from
// the cache, when the buffer still holds the bytes the line was read from:
// true with the line, *line_start and *position as ReadLine gives them.
// *kept receives the line's entry when its tokens may be kept.
bool read_kept_line(EngineState* st, const ScriptBuffer& buffer, const uint8_t* text, char* line,
                    uint32_t* line_start, uint32_t* position, CachedLineRef* kept);
// Keeps the line that ReadLine has just read from `from` up to `next`.
void keep_line(EngineState* st, const ScriptBuffer& buffer, const uint8_t* text, uint32_t from,
               uint32_t line_start, uint32_t next, const char* line, CachedLineRef* kept);

// Lets the lexer use the entry for the line whose first character is at `base`.
void lexer_use_cache(EngineState* st, const CachedLineRef& line, const char* base);

// The kept token beginning at p, when the lexer's line has one that can be
// used as it stands (its variable, if any, still in its slot); else null.
const CachedToken* cached_token(EngineState* st, const char* p);
const char* cached_token_text(const EngineState* st, const CachedToken& token);

// Keeps the token the lexer has just read at p.
void keep_token(EngineState* st, const char* p);

// Called whenever a table that words are looked up in changes.
void note_name_tables_changed();

void free_token_cache(EngineState* st);
