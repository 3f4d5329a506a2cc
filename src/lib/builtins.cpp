// The list of all handler tables and the id-indexed handler array built
// from them once, so that a call finds its handler by one array index.
#include "lib/builtins.h"

const BuiltinFamily kBuiltinFamilies[] = {
    {"math", kMathBuiltins, kMathBuiltinCount},
    {"call", kCallBuiltins, kCallBuiltinCount},
    {"intcontrol", kIntControlBuiltins, kIntControlBuiltinCount},
    {"arrays", kArrayBuiltins, kArrayBuiltinCount},
    {"errors", kErrorBuiltins, kErrorBuiltinCount},
    {"debug", kDebugBuiltins, kDebugBuiltinCount},
    {"strings_search", kStringSearchBuiltins, kStringSearchBuiltinCount},
    {"strings_edit", kStringEditBuiltins, kStringEditBuiltinCount},
    {"items", kItemBuiltins, kItemBuiltinCount},
    {"chars", kCharBuiltins, kCharBuiltinCount},
    {"time", kTimeBuiltins, kTimeBuiltinCount},
    {"binary_alloc", kBinaryAllocBuiltins, kBinaryAllocBuiltinCount},
    {"binary_peek", kBinaryPeekBuiltins, kBinaryPeekBuiltinCount},
    {"binary_search", kBinarySearchBuiltins, kBinarySearchBuiltinCount},
    {"binary_copy", kBinaryCopyBuiltins, kBinaryCopyBuiltinCount},
    {"binary_io", kBinaryIoBuiltins, kBinaryIoBuiltinCount},
    {"binary_convert", kBinaryConvertBuiltins, kBinaryConvertBuiltinCount},
    {"binary_records", kBinaryRecordBuiltins, kBinaryRecordBuiltinCount},
    {"binary_tags", kBinaryTagBuiltins, kBinaryTagBuiltinCount},
    {"files_io", kFileIoBuiltins, kFileIoBuiltinCount},
    {"files_whole", kFileWholeBuiltins, kFileWholeBuiltinCount},
    {"files_manage", kFileManageBuiltins, kFileManageBuiltinCount},
    {"files_info", kFileInfoBuiltins, kFileInfoBuiltinCount},
    {"files_names", kFileNameBuiltins, kFileNameBuiltinCount},
    {"dirs", kDirBuiltins, kDirBuiltinCount},
    {"disks", kDiskBuiltins, kDiskBuiltinCount},
    {"registry_keys", kRegistryKeyBuiltins, kRegistryKeyBuiltinCount},
    {"registry_values", kRegistryValueBuiltins, kRegistryValueBuiltinCount},
    {"ini", kIniBuiltins, kIniBuiltinCount},
    {"launch", kLaunchBuiltins, kLaunchBuiltinCount},
    {"apps", kAppBuiltins, kAppBuiltinCount},
    {"display", kDisplayBuiltins, kDisplayBuiltinCount},
    {"keys", kKeyBuiltins, kKeyBuiltinCount},
    {"menus", kMenuBuiltins, kMenuBuiltinCount},
    {"mouse", kMouseBuiltins, kMouseBuiltinCount},
    {"windows_names", kWindowNameBuiltins, kWindowNameBuiltinCount},
    {"windows_place", kWindowPlaceBuiltins, kWindowPlaceBuiltinCount},
    {"windows_list", kWindowListBuiltins, kWindowListBuiltinCount},
    {"windows_wait", kWindowWaitBuiltins, kWindowWaitBuiltinCount},
    {"windows_info", kWindowInfoBuiltins, kWindowInfoBuiltinCount},
};
const size_t kBuiltinFamilyCount = sizeof(kBuiltinFamilies) / sizeof(kBuiltinFamilies[0]);

namespace {

struct HandlerIndex {
    BuiltinHandler by_id[KEYWORD_COUNT] = {};
    bool reads_texts_only[KEYWORD_COUNT] = {};

    // Runs during static initialisation, after the tables above (same file,
    // earlier definition) and the family tables (constant-initialised).
    HandlerIndex() {
        for (size_t f = 0; f < kBuiltinFamilyCount; ++f) {
            const BuiltinFamily& family = kBuiltinFamilies[f];
            for (size_t r = 0; r < family.count; ++r) {
                const BuiltinRow& row = family.rows[r];
                if (row.id >= KEYWORD_COUNT) continue;
                by_id[row.id] = row.handler;
                reads_texts_only[row.id] = row.reads_texts_only;
            }
        }
    }
};

const HandlerIndex kHandlerIndex;

}  // namespace

BuiltinHandler builtin_handler(uint16_t id) {
    return id < KEYWORD_COUNT ? kHandlerIndex.by_id[id] : nullptr;
}

bool builtin_reads_texts_only(uint16_t id) { return id < KEYWORD_COUNT && kHandlerIndex.reads_texts_only[id]; }
