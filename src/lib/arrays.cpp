// Array built-in functions: ArrDimension, ArrInfo, ArrInitialize, Arrayize,
// ArraySwapElements and the array file functions ArrayFileGet,
// ArrayFileGetCSV, ArrayFilePut and ArrayFilePutCSV.
#include <windows.h>
#include <oleauto.h>
#include <string.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "base/heap.h"
#include "lang/arrays.h"
#include "lang/numtext.h"
#include "lang/variables.h"
#include "lib/builtins.h"
#include "lib/csv_line.h"
#include "lib/text_file.h"

namespace {

// ------------------------------------------------------------------ helpers

inline int32_t optional_int(const Value* args, int count, int index, int32_t fallback) {
    return count >= index ? args[index].v.integer : fallback;
}

inline const char* arg_text(const EngineState* st, const Value& arg) {
    const char* text = value_text(st, arg.v);
    return text ? text : "";
}

// A one-dimensional array of `size` elements in the result; a size of 0
// gives the empty array of zero dimensions.
bool create_vector(EngineState* st, Value* result, int64_t size) {
    if (size > INT32_MAX) return raise(st, Err::ArrDimensionTooLarge);
    return CreateMyArray(st, result, static_cast<int32_t>(size), 0, 0, 0, 0, 0, 1) >= 0;
}

// rows x columns; either being 0 gives the empty array of zero dimensions
// (a zero row count before a nonzero column count is no array shape).
bool create_table(EngineState* st, Value* result, int64_t rows, int64_t columns) {
    if (rows > INT32_MAX || columns > INT32_MAX) return raise(st, Err::ArrDimensionTooLarge);
    if (rows == 0 || columns == 0) rows = columns = 0;
    return CreateMyArray(st, result, static_cast<int32_t>(rows), static_cast<int32_t>(columns), 0, 0, 0, 0, 2) >= 0;
}

// An array argument converted from a variable's VARIANT for the call is
// stored back into that variable, so that what the function changed is
// what the script sees.
bool store_back_converted(EngineState* st, const Value& arg) {
    if (arg.origin_index >= ORIGIN_ARRAY_CELL || !(arg.v.flags & VF_ARRAY) || !arg.v.handle) return true;
    const bool other_table = arg.origin_table != st->table.id;
    TableSave save;
    if (other_table) CHECK(SwitchTable(st, arg.origin_table, &save));
    VariableSlot* slot = slot_at(st, arg.origin_index);
    if ((slot->v.flags & VF_VARIANT) && !(slot->v.flags & VF_ARRAY)) {
        ReleaseValue(st, &slot->v, RK_SLOT, 0);
        SetInteger(&slot->v, RK_SLOT, 0, 0);
        slot->v.flags = VF_ARRAY;
        slot->v.handle = arg.v.handle;
        array_add_share(st, arg.v.handle);
    }
    return !other_table || RestoreTable(st, &save);
}

// ------------------------------------------------------------------ ArrDimension, ArrInfo

// ArrDimension(d1 [, d2, d3, d4, d5])
BUILTIN(arr_dimension) {
    int32_t d[ARRAY_MAX_DIMENSIONS] = {};
    for (int i = 0; i < count && i < ARRAY_MAX_DIMENSIONS; ++i) d[i] = args[i + 1].v.integer;
    (void)CreateMyArray(st, result, d[0], d[1], d[2], d[3], d[4], 0, count);
}

// Requests of ArrInfo.
constexpr int32_t INFO_IS_ARRAY = -1;
constexpr int32_t INFO_DIMENSIONS = 0;
constexpr int32_t INFO_ELEMENTS = 6;

// A VARIANT's SAFEARRAY answers in the engine's order of dimensions: the
// engine's first dimension is the SAFEARRAY's last.
bool safearray_info(EngineState* st, const VARIANT& variant, int32_t request, int32_t* answer) {
    SAFEARRAY* array = (variant.vt & VT_BYREF) ? (variant.pparray ? *variant.pparray : nullptr) : variant.parray;
    if (!array) return raise(st, Err::ArrayAccessError);
    const int32_t n = static_cast<int32_t>(SafeArrayGetDim(array));
    auto size = [&](int32_t engine_dimension) -> int32_t {
        LONG low = 0, high = -1;
        const UINT dimension = static_cast<UINT>(n + 1 - engine_dimension);
        if (FAILED(SafeArrayGetLBound(array, dimension, &low)) || FAILED(SafeArrayGetUBound(array, dimension, &high)))
            return 0;
        return high - low + 1;
    };
    if (request == INFO_IS_ARRAY) {
        *answer = 1;
    } else if (request == INFO_DIMENSIONS) {
        *answer = n;
    } else if (request >= 1 && request <= ARRAY_MAX_DIMENSIONS) {
        *answer = request <= n ? size(request) : 0;
    } else if (request == INFO_ELEMENTS) {
        *answer = n ? 1 : 0;
        for (int32_t d = 1; d <= n; ++d) *answer *= size(d);
    } else {
        return raise(st, Err::ArrInfoBadRequest);
    }
    return true;
}

bool array_info(EngineState* st, const ValuePayload& v, int32_t request, int32_t* answer) {
    const ArrayHeader* array = array_of(v);
    if (!array) return raise(st, Err::ArrayAccessError);
    if (request == INFO_IS_ARRAY) {
        *answer = 1;
    } else if (request == INFO_DIMENSIONS) {
        *answer = array->dimensions;
    } else if (request >= 1 && request <= ARRAY_MAX_DIMENSIONS) {
        *answer = static_cast<int32_t>(array->sizes[request - 1]);
    } else if (request == INFO_ELEMENTS) {
        *answer = static_cast<int32_t>(array->element_count);
    } else {
        return raise(st, Err::ArrInfoBadRequest);
    }
    return true;
}

// ArrInfo(value, request)
BUILTIN(arr_info) {
    const ValuePayload& v = args[1].v;
    const int32_t request = args[2].v.integer;
    int32_t answer = 0;
    if (v.flags & VF_ARRAY) {
        if (!array_info(st, v, request, &answer)) return;
    } else if ((v.flags & VF_VARIANT) && (v.variant.vt & VT_ARRAY)) {
        if (!safearray_info(st, v.variant, request, &answer)) return;
    } else if (request != INFO_IS_ARRAY) {
        raise(st, Err::ArrayParamNotArray);
        return;
    }
    result->v.integer = answer;
}

// ------------------------------------------------------------------ ArrInitialize, ArraySwapElements

enum class Fill { Integer, Float, Text, Invalid };

// The value's flag word decides, exactly: an integer (possibly with its text
// or float), a float (possibly with its text), or a text alone.
Fill fill_kind(uint32_t flags) {
    switch (flags) {
    case VF_INT:
    case VF_INT | VF_STRING:
    case VF_INT | VF_FLOAT:
    case VF_INT | VF_STRING | VF_FLOAT: return Fill::Integer;
    case VF_FLOAT:
    case VF_FLOAT | VF_STRING: return Fill::Float;
    case VF_STRING: return Fill::Text;
    default: return Fill::Invalid;
    }
}

bool fill_cells(EngineState* st, ArrayHeader* array, const ValuePayload& value, Fill kind) {
    const char* text = kind == Fill::Text ? value_text(st, value) : nullptr;
    const size_t length = text ? strlen(text) : 0;
    for (uint32_t i = 0; i < array->element_count; ++i) {
        ArrayCell* cell = &array->elements[i];
        if (kind == Fill::Text) {
            CHECK(set_cell_text(st, cell, text ? text : "", length));
            continue;
        }
        ReleaseValue(st, &cell->v, RK_CELL, 0);
        SetInteger(&cell->v, RK_CELL, 0, kind == Fill::Integer ? value.integer : 0);
        if (kind == Fill::Float) {
            cell->v.real = value.real;
            cell->v.flags = VF_FLOAT;
        }
    }
    return true;
}

// ArrInitialize(array, value)
BUILTIN(arr_initialize) {
    const Fill kind = fill_kind(args[2].v.flags);
    if (kind == Fill::Invalid) {
        raise(st, Err::ArrInitializeBadValue);
        return;
    }
    ArrayHeader* array;
    if (!check_array_argument(st, args[1].v, &array)) return;
    if (!fill_cells(st, array, args[2].v, kind)) return;
    if (!store_back_converted(st, args[1])) return;
    result->v.integer = 1;
}

// ArraySwapElements(array, a1, a2, a3, a4, a5, b1, b2, b3, b4, b5): only the
// element numbers are checked, not each subscript against its dimension.
BUILTIN(arr_swap_elements) {
    ArrayHeader* array;
    if (!check_array_argument(st, args[1].v, &array)) return;
    int32_t first[ARRAY_MAX_DIMENSIONS], second[ARRAY_MAX_DIMENSIONS];
    for (int i = 0; i < ARRAY_MAX_DIMENSIONS; ++i) {
        first[i] = args[2 + i].v.integer;
        second[i] = args[2 + ARRAY_MAX_DIMENSIONS + i].v.integer;
    }
    const uint32_t a = ElementIndex(array, first);
    const uint32_t b = ElementIndex(array, second);
    if (a >= array->element_count || b >= array->element_count) {
        raise(st, Err::ArraySubscriptOutOfBounds);
        return;
    }
    // The records move as they are: texts and VARIANTs go with them.
    const ArrayCell held = array->elements[a];
    array->elements[a] = array->elements[b];
    array->elements[b] = held;
    if (!store_back_converted(st, args[1])) return;
    result->v.integer = 1;
}

// ------------------------------------------------------------------ Arrayize

// A delimiter of one character: one byte, or a double-byte pair. An empty
// delimiter stands for the tab.
bool item_delimiter(EngineState* st, const char* text, char* delimiter, size_t* length) {
    const size_t n = strlen(text);
    if (n == 0) {
        delimiter[0] = '\t';
        *length = 1;
        return true;
    }
    if (n == 1 || (n == 2 && g_os.dbcs && IsDBCSLeadByte(static_cast<BYTE>(text[0])))) {
        memcpy(delimiter, text, n);
        *length = n;
        return true;
    }
    return raise(st, Err::DelimiterNotSingleChar);
}

// The next delimiter at or after p, at a character boundary; end when none.
const char* find_delimiter(const char* p, const char* end, const char* delimiter, size_t length) {
    const bool dbcs = g_os.dbcs != 0;
    while (p < end) {
        if (static_cast<size_t>(end - p) >= length && memcmp(p, delimiter, length) == 0) return p;
        p += (dbcs && p + 1 < end && IsDBCSLeadByte(static_cast<BYTE>(*p))) ? 2 : 1;
    }
    return end;
}

// Arrayize(list, delimiter)
BUILTIN(arr_arrayize) {
    char delimiter[2];
    size_t delimiter_length = 1;
    if (!item_delimiter(st, arg_text(st, args[2]), delimiter, &delimiter_length)) return;
    const char* list = arg_text(st, args[1]);
    const char* end = list + strlen(list);
    int64_t items = 0;
    if (list != end) {
        for (const char* p = list;; ++items) {
            p = find_delimiter(p, end, delimiter, delimiter_length);
            if (p == end) break;
            p += delimiter_length;
        }
        ++items;
    }
    if (!create_vector(st, result, items)) return;
    ArrayHeader* array = array_of(result->v);
    const char* p = list;
    for (int64_t i = 0; i < items; ++i) {
        const char* stop = find_delimiter(p, end, delimiter, delimiter_length);
        if (!set_cell_text(st, &array->elements[i], p, static_cast<size_t>(stop - p))) return;
        p = stop + delimiter_length;
    }
}

// ------------------------------------------------------------------ ArrayFileGet, ArrayFileGetCSV

// ArrayFileGet(file [, null-char, extra])
BUILTIN(arr_file_get) {
    const char* null_char = count >= 2 ? arg_text(st, args[2]) : "";
    if (strlen(null_char) > 1) {
        raise(st, Err::BadNullChar);
        return;
    }
    const int32_t extra = optional_int(args, count, 3, 0);
    LineReader reader;
    if (!open_lines(st, &reader, arg_text(st, args[1]), null_char[0] ? NulRule::Replace : NulRule::Drop,
                    null_char[0]))
        return;
    int64_t lines = 0;
    bool got = true;
    bool ok = true;
    while (ok && (ok = next_line(st, &reader, &got)) && got) ++lines;
    ok = ok && rewind_lines(st, &reader) && create_vector(st, result, lines + (extra > 0 ? extra : 0));
    ArrayHeader* array = ok ? array_of(result->v) : nullptr;
    for (int64_t i = 0; ok && i < lines; ++i) {
        ok = next_line(st, &reader, &got);
        // A file that shrank between the passes leaves the rest undefined.
        if (!ok || !got) break;
        ok = set_cell_text(st, &array->elements[i], reader.line, reader.length);
    }
    close_lines(&reader);
}

struct CsvShape {
    int64_t lines = 0;
    uint32_t widest = 0;
};

// Pass one: lines and the largest field count; 1808 for an invalid line.
bool measure_csv(EngineState* st, LineReader* reader, char delimiter, bool keep_blanks, CsvShape* shape) {
    for (;;) {
        bool got;
        CHECK(next_line(st, reader, &got));
        if (!got) return true;
        uint32_t fields;
        if (!split_csv_line(reader->line, reader->length, delimiter, keep_blanks, nullptr, nullptr, &fields))
            return raise(st, Err::FileBadCsvLine);
        ++shape->lines;
        if (fields > shape->widest) shape->widest = fields;
    }
}

struct RowFill {
    EngineState* st;
    ArrayCell* row;
    uint32_t column;
    uint32_t width;  // fields that the file's widest line has
};

bool store_field(void* context, const char* text, size_t length) {
    auto* fill = static_cast<RowFill*>(context);
    if (fill->column >= fill->width) return true;
    return set_cell_text(fill->st, &fill->row[fill->column++], text, length);
}

// Pass two: the fields of every line in row order; a short line is padded
// with empty texts up to the widest line's count.
bool fill_csv(EngineState* st, LineReader* reader, char delimiter, bool keep_blanks, const CsvShape& shape,
              ArrayHeader* array) {
    const uint32_t columns = array->dimensions == 2 ? array->sizes[1] : 0;
    for (int64_t row = 0; row < shape.lines && columns; ++row) {
        bool got;
        CHECK(next_line(st, reader, &got));
        if (!got) return true;
        RowFill fill{st, array->elements + row * columns, 0, shape.widest};
        uint32_t fields;
        if (!split_csv_line(reader->line, reader->length, delimiter, keep_blanks, store_field, &fill, &fields))
            return st->error != 0 || raise(st, Err::FileBadCsvLine);
        while (fill.column < shape.widest) CHECK(set_cell_text(st, &fill.row[fill.column++], "", 0));
    }
    return true;
}

// Bit 0 of ArrayFileGetCSV's flags: fields keep their leading and trailing blanks.
constexpr int32_t CSV_KEEP_BLANKS = 1;

// ArrayFileGetCSV(file, flags [, delimiter, extra rows, extra columns])
BUILTIN(arr_file_get_csv) {
    const char* delimiter = count >= 3 ? arg_text(st, args[3]) : ",";
    if (!is_csv_delimiter(delimiter)) {
        raise(st, Err::BadDelimiter);
        return;
    }
    const bool keep_blanks = (args[2].v.integer & CSV_KEEP_BLANKS) != 0;
    const int32_t extra_rows = optional_int(args, count, 4, 0);
    const int32_t extra_columns = optional_int(args, count, 5, 0);
    LineReader reader;
    if (!open_lines(st, &reader, arg_text(st, args[1]), NulRule::Refuse, 0)) return;
    CsvShape shape;
    bool ok = measure_csv(st, &reader, delimiter[0], keep_blanks, &shape) && rewind_lines(st, &reader) &&
              create_table(st, result, shape.lines + (extra_rows > 0 ? extra_rows : 0),
                           int64_t{shape.widest} + (extra_columns > 0 ? extra_columns : 0));
    if (ok) (void)fill_csv(st, &reader, delimiter[0], keep_blanks, shape, array_of(result->v));
    close_lines(&reader);
}

// ------------------------------------------------------------------ ArrayFilePut, ArrayFilePutCSV

// Line-end options of ArrayFilePut (its flags) and ArrayFilePutCSV (its
// second option).
constexpr int32_t PUT_LINE_FEED_ONLY = 1;   // "\n" instead of "\r\n"
constexpr int32_t PUT_NO_FINAL_END = 2;     // nothing after the last line
constexpr int32_t PUT_LINE_OPTIONS = PUT_LINE_FEED_ONLY | PUT_NO_FINAL_END;

// ArrayFilePutCSV's first option: quote every field, not only those that need it.
constexpr int32_t PUT_QUOTE_ALL = 1;

// An element's text for output: a text as it is, a number printed, a
// VARIANT or wide text converted; nothing for an element never assigned.
// A text made for the occasion is kept in `scratch` for release_cell_text.
struct CellText {
    const char* text = "";
    size_t length = 0;
    uint32_t scratch = 0;
    char digits[FLOAT_TEXT_BYTES];
};

bool cell_text(EngineState* st, const ArrayCell& cell, CellText* out) {
    const ValuePayload& v = cell.v;
    out->scratch = 0;
    out->text = "";
    if (v.flags == VF_UNDEFINED) {
        // An element never assigned writes as nothing.
    } else if (const char* text = value_text(st, v)) {
        out->text = text;
    } else if (v.flags & VF_INT) {
        IntToText(v.integer, out->digits, 10);
        out->text = out->digits;
    } else if (v.flags & VF_FLOAT) {
        CHECK(FloatToText(st, v.real, out->digits));
        out->text = out->digits;
    } else {
        // The VARIANT and wide text stay the element's; only the converted
        // text is the scratch copy's own.
        ValuePayload scratch = v;
        scratch.flags &= VF_UNICODE | VF_VARIANT;
        scratch.handle = 0;
        if (!scratch.flags || !ToString(st, &scratch)) return raise(st, Err::NotConvertibleToString);
        out->scratch = static_cast<uint32_t>(scratch.handle);
        out->text = value_text(st, scratch);
        if (scratch.whandle != v.whandle && scratch.whandle) VFree(st, scratch.whandle);
        if (!out->text) out->text = "";
    }
    out->length = strlen(out->text);
    return true;
}

void release_cell_text(EngineState* st, CellText* text) {
    if (text->scratch) VFree(st, text->scratch);
    text->scratch = 0;
}

bool write_line_end(EngineState* st, TextWriter* w, int32_t options, bool last) {
    if (last && (options & PUT_NO_FINAL_END)) return true;
    return (options & PUT_LINE_FEED_ONLY) ? write_text(st, w, "\n", 1) : write_text(st, w, "\r\n", 2);
}

// The array to write, of `dimensions` it must have (1805 otherwise).
bool output_array(EngineState* st, const Value& arg, uint8_t lowest, uint8_t highest, ArrayHeader** array) {
    *array = array_of(arg.v);
    if (!*array) return raise(st, Err::ArrayAccessError);
    const uint8_t dimensions = (*array)->dimensions;
    if (dimensions < lowest || dimensions > highest) return raise(st, Err::ArrayBadDimCount);
    return (*array)->elements != nullptr || raise(st, Err::ArrayAccessError);
}

bool put_lines(EngineState* st, TextWriter* w, const ArrayHeader* array, int32_t options) {
    for (uint32_t i = 0; i < array->element_count; ++i) {
        CellText text;
        CHECK(cell_text(st, array->elements[i], &text));
        const bool ok = write_text(st, w, text.text, text.length);
        release_cell_text(st, &text);
        CHECK(ok && write_line_end(st, w, options, i + 1 == array->element_count));
    }
    return true;
}

// ArrayFilePut(file, array [, flags]) -> lines written
BUILTIN(arr_file_put) {
    const int32_t options = optional_int(args, count, 3, 0);
    if (options & ~PUT_LINE_OPTIONS) {
        raise(st, Err::BadFlags);
        return;
    }
    ArrayHeader* array;
    if (!output_array(st, args[2], 1, 1, &array)) return;
    TextWriter writer;
    if (!create_text_file(st, &writer, arg_text(st, args[1]))) return;
    const bool ok = put_lines(st, &writer, array, options);
    if (close_text_file(st, &writer, ok) && ok) result->v.integer = static_cast<int32_t>(array->element_count);
}

// One field, quoted when it must be (or always) with its quotes doubled. A
// line break cannot be written: a record never spans lines.
bool put_field(EngineState* st, TextWriter* w, const char* text, size_t length, char delimiter, bool quote_all,
               bool alone) {
    if (memchr(text, '\r', length) || memchr(text, '\n', length)) return raise(st, Err::BadValue);
    // A row of one empty field would be an empty line, which has no fields.
    const bool quoted = quote_all || (alone && length == 0) || csv_field_needs_quotes(text, length, delimiter);
    if (!quoted) return write_text(st, w, text, length);
    CHECK(write_text(st, w, "\"", 1));
    for (const char* p = text; length > 0;) {
        const char* quote = static_cast<const char*>(memchr(p, '"', length));
        const size_t run = quote ? static_cast<size_t>(quote - p) + 1 : length;
        CHECK(write_text(st, w, p, run));
        if (quote) CHECK(write_text(st, w, "\"", 1));
        p += run;
        length -= run;
    }
    return write_text(st, w, "\"", 1);
}

struct CsvOutput {
    char delimiter;
    bool quote_all;
    int32_t line_options;
};

bool put_rows(EngineState* st, TextWriter* w, const ArrayHeader* array, const CsvOutput& out) {
    const uint32_t columns = array->dimensions == 2 ? array->sizes[1] : 1;
    const uint32_t rows = array->sizes[0];
    for (uint32_t row = 0; row < rows; ++row) {
        for (uint32_t column = 0; column < columns; ++column) {
            if (column > 0) CHECK(write_text(st, w, &out.delimiter, 1));
            CellText text;
            CHECK(cell_text(st, array->elements[row * columns + column], &text));
            const bool ok = put_field(st, w, text.text, text.length, out.delimiter, out.quote_all, columns == 1);
            release_cell_text(st, &text);
            CHECK(ok);
        }
        CHECK(write_line_end(st, w, out.line_options, row + 1 == rows));
    }
    return true;
}

// ArrayFilePutCSV(file, array [, delimiter, quoting, line ends]) -> rows written
BUILTIN(arr_file_put_csv) {
    const char* delimiter = count >= 3 ? arg_text(st, args[3]) : ",";
    if (!is_csv_delimiter(delimiter)) {
        raise(st, Err::BadDelimiter);
        return;
    }
    const int32_t quoting = optional_int(args, count, 4, 0);
    const int32_t line_options = optional_int(args, count, 5, 0);
    if ((quoting & ~PUT_QUOTE_ALL) || (line_options & ~PUT_LINE_OPTIONS)) {
        raise(st, Err::BadFlags);
        return;
    }
    ArrayHeader* array;
    if (!output_array(st, args[2], 1, 2, &array)) return;
    TextWriter writer;
    if (!create_text_file(st, &writer, arg_text(st, args[1]))) return;
    const CsvOutput out{delimiter[0], quoting == PUT_QUOTE_ALL, line_options};
    const bool ok = put_rows(st, &writer, array, out);
    if (close_text_file(st, &writer, ok) && ok) result->v.integer = static_cast<int32_t>(array->sizes[0]);
}

}  // namespace

constexpr BuiltinRow kArrayBuiltins[] = {
    BUILTIN_ROW("arrayfileget", arr_file_get),
    BUILTIN_ROW("arrayfilegetcsv", arr_file_get_csv),
    BUILTIN_ROW("arrayfileput", arr_file_put),
    BUILTIN_ROW("arrayfileputcsv", arr_file_put_csv),
    BUILTIN_ROW("arrayize", arr_arrayize),
    BUILTIN_ROW("arrayswapelements", arr_swap_elements),
    BUILTIN_ROW("arrdimension", arr_dimension),
    BUILTIN_ROW("arrinfo", arr_info),
    BUILTIN_ROW("arrinitialize", arr_initialize),
};
constexpr size_t kArrayBuiltinCount = sizeof(kArrayBuiltins) / sizeof(kArrayBuiltins[0]);
