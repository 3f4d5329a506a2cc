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
