// Disk functions: which drives exist, their free and total space, geometry
// and volume information, the drive scan and the current drive.
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include "base/engine_state.h"
#include "base/errors.h"
#include "lib/builtins.h"
#include "lib/path_text.h"
#include "lib/text_ops.h"

namespace {

// "C", "C:" or "C:\" as the drive letter; 0 for anything else.
char drive_letter(const char* text) {
    if (!text) return 0;
    const char c = static_cast<char>(text[0] & ~0x20);
    if (c < 'A' || c > 'Z') return 0;
    if (text[1] == 0 || (text[1] == ':' && (text[2] == 0 || (text[2] == '\\' && text[3] == 0)))) return c;
    return 0;
}

bool drive_present(char letter) { return (GetLogicalDrives() >> (letter - 'A')) & 1; }

void number_result(Value* result, uint64_t n, bool as_float) {
    if (n > 0x7FFFFFFF || as_float) {
        result->v.real = static_cast<double>(n);
        result->v.flags = VF_FLOAT;
    } else {
        set_int_result(result, static_cast<int32_t>(n));
    }
}

// DiskExist(drive)
BUILTIN(disk_exist) {
    const char letter = drive_letter(value_text(st, args[1].v));
    if (!letter) return (void)raise(st, Err::DiskExistBadDisk);
    char root[4] = {letter, ':', '\\', 0};
    set_int_result(result, drive_present(letter) && GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR);
}

// DiskFree(drive-list, format) and DiskSize(drive-list, format): bytes
// free or in all, summed over the drives of a list.
void disk_space(EngineState* st, int count, Value* result, Value* args, bool free_space) {
    const char* list = value_text(st, args[1].v);
    uint64_t total = 0;
    for (const char* p = list; p && *p; ++p) {
        const char c = static_cast<char>(*p & ~0x20);
        if (c < 'A' || c > 'Z') continue;
        char root[4] = {c, ':', '\\', 0};
        ULARGE_INTEGER available, size, unused;
        if (GetDiskFreeSpaceExA(root, &available, &size, &unused)) total += free_space ? available.QuadPart : size.QuadPart;
        while (p[1] && p[1] != ' ' && p[1] != ',' && p[1] != '\t' && p[1] != '|') ++p;
    }
    number_result(result, total, optional_arg(args, count, 2, 0) == 1);
}

BUILTIN(disk_free) { disk_space(st, count, result, args, true); }
BUILTIN(disk_size) { disk_space(st, count, result, args, false); }

// DiskInfo(drive, request): 1 sectors per cluster, 2 bytes per sector,
// 3 free clusters, 4 all clusters.
BUILTIN(disk_info) {
    const char letter = drive_letter(value_text(st, args[1].v));
    if (!letter) return (void)raise(st, Err::DiskInfoBadDrive);
    const int32_t request = args[2].v.integer;
    if (request < 1 || request > 4) return (void)raise(st, Err::DiskInfoBadRequest);
    char root[4] = {letter, ':', '\\', 0};
    DWORD values[4];
    if (!GetDiskFreeSpaceA(root, &values[0], &values[1], &values[2], &values[3]))
        return (void)raise(st, Err::DiskInfoFailed);
    number_result(result, values[request - 1], false);
}

// DiskScan(types): the drives of the given kinds, joined by the list
// delimiter: 1 removable, 2 fixed, 4 network, 8 CD-ROM, 16 RAM disk.
BUILTIN(disk_scan) {
    const int32_t types = args[1].v.integer;
    const char delimiter = default_item_delimiter(st);
    char list[26 * 3 + 1];
    size_t n = 0;
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!((drives >> i) & 1)) continue;
        char root[4] = {static_cast<char>('A' + i), ':', '\\', 0};
        int32_t bit = 0;
        switch (GetDriveTypeA(root)) {
            case DRIVE_REMOVABLE: bit = 1; break;
            case DRIVE_FIXED: bit = 2; break;
            case DRIVE_REMOTE: bit = 4; break;
            case DRIVE_CDROM: bit = 8; break;
            case DRIVE_RAMDISK: bit = 16; break;
            default: break;
        }
        if (!(types & bit)) continue;
        if (n) list[n++] = delimiter;
        list[n++] = root[0];
        list[n++] = ':';
    }
    (void)set_value_text(st, &result->v, list, n);
}

// DiskVolInfo(root, request): 1 volume label, 2 file system, 3 serial
// number, 4 longest name component, 5 file-system flags.
BUILTIN(disk_vol_info) {
    PathText root;
    if (!arg_path(st, args[1], &root)) return;
    if (!root.s[0]) return (void)raise(st, Err::DiskVolInfoBadRoot);
    if (root.s[wcslen(root.s) - 1] != L'\\' && !path_append(&root, L"\\")) return (void)raise(st, Err::DiskVolInfoBadRoot);
    const int32_t request = args[2].v.integer;
    if (request < 1 || request > 5) return (void)raise(st, Err::DiskVolInfoBadRequest);
    wchar_t label[MAX_PATH + 1], system[MAX_PATH + 1];
    DWORD serial = 0, longest = 0, flags = 0;
    if (!GetVolumeInformationW(root.s, label, MAX_PATH + 1, &serial, &longest, &flags, system, MAX_PATH + 1))
        return (void)raise(st, Err::DiskVolInfoFailed);
    switch (request) {
        case 1: (void)set_path_result(st, result, label, wide); break;
        case 2: (void)set_path_result(st, result, system, wide); break;
        case 3: number_result(result, serial, false); break;
        case 4: number_result(result, longest, false); break;
        default: number_result(result, flags, false); break;
    }
}

// LogDisk(drive): makes the drive current.
BUILTIN(log_disk) {
    const char letter = drive_letter(value_text(st, args[1].v));
    if (!letter) return (void)raise(st, Err::LogDiskBadDrive);
    const char drive[3] = {letter, ':', 0};
    if (!drive_present(letter) || !SetCurrentDirectoryA(drive)) return (void)raise(st, Err::LogDiskDriveNotOnline);
    set_int_result(result, 1);
}

}  // namespace

extern const BuiltinRow kDiskBuiltins[] = {
    BUILTIN_ROW("diskexist", disk_exist),
    BUILTIN_ROW("diskfree", disk_free),
    BUILTIN_ROW("diskinfo", disk_info),
    BUILTIN_ROW("diskscan", disk_scan),
    BUILTIN_ROW("disksize", disk_size),
    BUILTIN_ROW("diskvolinfo", disk_vol_info),
    BUILTIN_ROW("logdisk", log_disk),
};
extern const size_t kDiskBuiltinCount = sizeof(kDiskBuiltins) / sizeof(kDiskBuiltins[0]);
