// Comma-separated-values lines: validation and field splitting under the
// quoting and blank rules shared by the CSV functions.
#pragma once

#include <stddef.h>
#include <stdint.h>

// One byte other than space, double quote, carriage return and line feed.
bool is_csv_delimiter(const char* text);

// Receives each field in turn; returning false stops the split.
typedef bool (*CsvFieldSink)(void* context, const char* text, size_t length);

// Splits `line` (`length` bytes) at the delimiters that stand outside double
// quotes. A quoted field yields the text between its quotes with doubled
// quotes made single (written over the line in place); an unquoted field
// loses its leading and trailing blanks unless `keep_blanks`. Blanks are
// space and tab, or space alone when the delimiter is the tab.
// *fields is the number of fields (0 for an empty line). False for a line
// that is not valid CSV, or when the sink stopped the split.
bool split_csv_line(char* line, size_t length, char delimiter, bool keep_blanks, CsvFieldSink sink, void* context,
                    uint32_t* fields);

// Whether a field must be quoted to read back as itself: it holds the
// delimiter or a double quote, or begins or ends with a blank.
bool csv_field_needs_quotes(const char* text, size_t length, char delimiter);
