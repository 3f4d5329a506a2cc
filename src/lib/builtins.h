// The registry of built-in function handlers: every family file ends with
// one table of rows, and builtins.cpp lists those tables in one place.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include "lang/keyword_ids.h"
#include "lib/dispatch.h"

struct BuiltinRow {
    const char* name;  // lower case, as in the keyword table
    uint16_t id;
    BuiltinHandler handler;
    // The handler only reads its text arguments (it neither keeps, changes
    // nor frees them), so a caller may lend it a variable's own text.
    bool reads_texts_only;
};

// One row: the id is looked up from the name while compiling, so a table
// must be constexpr and a misspelt name does not build.
#define BUILTIN_ROW(name, handler) BuiltinRow{name, keyword_id(name), handler, false}
// The row of a handler that only reads its text arguments.
#define READER_ROW(name, handler) BuiltinRow{name, keyword_id(name), handler, true}

struct BuiltinFamily {
    const char* name;  // the family file, for test and coverage output
    const BuiltinRow* rows;
    size_t count;
};

// The family tables, one pair per lib/ file.
extern const BuiltinRow kMathBuiltins[];
extern const size_t kMathBuiltinCount;
extern const BuiltinRow kCallBuiltins[];
extern const size_t kCallBuiltinCount;
extern const BuiltinRow kIntControlBuiltins[];
extern const size_t kIntControlBuiltinCount;
extern const BuiltinRow kArrayBuiltins[];
extern const size_t kArrayBuiltinCount;
extern const BuiltinRow kErrorBuiltins[];
extern const size_t kErrorBuiltinCount;
extern const BuiltinRow kDebugBuiltins[];
extern const size_t kDebugBuiltinCount;
extern const BuiltinRow kStringSearchBuiltins[];
extern const size_t kStringSearchBuiltinCount;
extern const BuiltinRow kStringEditBuiltins[];
extern const size_t kStringEditBuiltinCount;
extern const BuiltinRow kItemBuiltins[];
extern const size_t kItemBuiltinCount;
extern const BuiltinRow kCharBuiltins[];
extern const size_t kCharBuiltinCount;
extern const BuiltinRow kTimeBuiltins[];
extern const size_t kTimeBuiltinCount;
extern const BuiltinRow kBinaryAllocBuiltins[];
extern const size_t kBinaryAllocBuiltinCount;
extern const BuiltinRow kBinaryPeekBuiltins[];
extern const size_t kBinaryPeekBuiltinCount;
extern const BuiltinRow kBinarySearchBuiltins[];
extern const size_t kBinarySearchBuiltinCount;
extern const BuiltinRow kBinaryCopyBuiltins[];
extern const size_t kBinaryCopyBuiltinCount;
extern const BuiltinRow kBinaryIoBuiltins[];
extern const size_t kBinaryIoBuiltinCount;
extern const BuiltinRow kBinaryConvertBuiltins[];
extern const size_t kBinaryConvertBuiltinCount;
extern const BuiltinRow kBinaryRecordBuiltins[];
extern const size_t kBinaryRecordBuiltinCount;
extern const BuiltinRow kBinaryTagBuiltins[];
extern const size_t kBinaryTagBuiltinCount;
extern const BuiltinRow kFileIoBuiltins[];
extern const size_t kFileIoBuiltinCount;
extern const BuiltinRow kFileWholeBuiltins[];
extern const size_t kFileWholeBuiltinCount;
extern const BuiltinRow kFileManageBuiltins[];
extern const size_t kFileManageBuiltinCount;
extern const BuiltinRow kFileInfoBuiltins[];
extern const size_t kFileInfoBuiltinCount;
extern const BuiltinRow kFileNameBuiltins[];
extern const size_t kFileNameBuiltinCount;
extern const BuiltinRow kDirBuiltins[];
extern const size_t kDirBuiltinCount;
extern const BuiltinRow kDiskBuiltins[];
extern const size_t kDiskBuiltinCount;
extern const BuiltinRow kRegistryKeyBuiltins[];
extern const size_t kRegistryKeyBuiltinCount;
extern const BuiltinRow kRegistryValueBuiltins[];
extern const size_t kRegistryValueBuiltinCount;
extern const BuiltinRow kIniBuiltins[];
extern const size_t kIniBuiltinCount;
extern const BuiltinRow kLaunchBuiltins[];
extern const size_t kLaunchBuiltinCount;
extern const BuiltinRow kAppBuiltins[];
extern const size_t kAppBuiltinCount;
extern const BuiltinRow kDisplayBuiltins[];
extern const size_t kDisplayBuiltinCount;
extern const BuiltinRow kKeyBuiltins[];
extern const size_t kKeyBuiltinCount;
extern const BuiltinRow kMenuBuiltins[];
extern const size_t kMenuBuiltinCount;
extern const BuiltinRow kMouseBuiltins[];
extern const size_t kMouseBuiltinCount;
extern const BuiltinRow kWindowNameBuiltins[];
extern const size_t kWindowNameBuiltinCount;
extern const BuiltinRow kWindowPlaceBuiltins[];
extern const size_t kWindowPlaceBuiltinCount;
extern const BuiltinRow kWindowListBuiltins[];
extern const size_t kWindowListBuiltinCount;
extern const BuiltinRow kWindowWaitBuiltins[];
extern const size_t kWindowWaitBuiltinCount;
extern const BuiltinRow kWindowInfoBuiltins[];
extern const size_t kWindowInfoBuiltinCount;

// Every family table (builtins.cpp).
extern const BuiltinFamily kBuiltinFamilies[];
extern const size_t kBuiltinFamilyCount;

// Handler registered for keyword id `id`; null when no family has one.
BuiltinHandler builtin_handler(uint16_t id);
// Whether built-in `id` only reads its text arguments (READER_ROW).
bool builtin_reads_texts_only(uint16_t id);
