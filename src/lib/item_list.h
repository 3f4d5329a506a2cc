// Item lists: texts of items separated by a one-character delimiter (a
// double-byte character counts as one). Items are numbered from 1 and -1
// names the last; the empty text is a list of no items, any other text has
// one item more than it has delimiters. Shared by every family that
// returns or reads lists (strings, files, registry, windows).
#pragma once

#include "lib/text_ops.h"

// The delimiter that an argument names: itself when it is one character,
// the tab when it is empty; anything longer raises 1705.
template <typename C>
[[nodiscard]] bool item_delimiter(EngineState* st, const Steps& steps, Span<C> argument, Span<C>* delimiter);

// The first delimiter at or after p (at a character boundary), or the end.
template <typename C>
const C* next_delimiter(const Steps& steps, const C* p, const C* end, Span<C> delimiter);

// Number of items.
template <typename C>
size_t item_count(const Steps& steps, Span<C> list, Span<C> delimiter);

// Item `index` (1-based; -1 the last). False when there is no such item.
template <typename C>
bool item_at(const Steps& steps, Span<C> list, Span<C> delimiter, int32_t index, Span<C>* item);

// The list argument of a function that takes items one at a time: its text,
// and in *block the heap text it is (0 when none), whose length is then
// known without measuring while a walk of it is kept.
template <typename C>
Span<C> list_argument(EngineState* st, const Value& arg, uint32_t* block);

// item_at for a list argument read by list_argument. A loop that takes the
// items of one long text in turn walks on from the item it found last
// instead of from the start each time.
template <typename C>
bool walked_item_at(EngineState* st, uint32_t block, const Steps& steps, Span<C> list, Span<C> delimiter,
                    int32_t index, Span<C>* item);
