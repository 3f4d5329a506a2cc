// Debug-trace dumps of the engine's tables: functions, variables, the
// structure stack, the settings file and the internal counters.
#include <stdio.h>
#include <string.h>
#include "base/errors.h"
#include "base/heap.h"
#include "base/script_buffer.h"
#include "base/settings.h"
#include "lang/frame_types.h"
#include "lang/keyword_table.h"
#include "lang/trace.h"
#include "lang/trace_output.h"
#include "lang/variables.h"

namespace {

// Every dump ends the same way.
void close_dump(TraceOutput& out, const char* end_line) { out.printf("%s\r\n\r\n%s\r\n", end_line, TRACE_STARS); }

bool is_callable(const KeywordEntry& entry) {
    return entry.type == KT_FUNCTION || entry.type == KT_STATEMENT || entry.type == KT_SPECIAL;
}

void put_function_row(TraceOutput& out, const KeywordEntry& entry, int id) {
    out.printf("%4d,  %d,  %08lX%08lX,  %8lX,  %2d,  %.*s\r\n", id, static_cast<int>(entry.type),
               static_cast<unsigned long>(entry.kinds_high), static_cast<unsigned long>(entry.kinds_low),
               static_cast<unsigned long>(entry.value), 0, static_cast<int>(entry.length), entry.name);
}

// Name and line of a frame, for frames whose buffer is the main script or
// the statement's own buffer; a function body's lines are not located here.
long frame_line(EngineState* st, const StructureFrame& frame, LineLocation* where) {
    ScriptBuffer buffer;
    if (frame.buffer && frame.buffer == st->statement_buffer) {
        buffer = ScriptBuffer{st->statement_buffer, st->statement_buffer_length, st->statement_buffer_base};
    } else if (frame.buffer && frame.function == NO_FUNCTION && GlobalSize(frame.buffer) > 0) {
        buffer = ScriptBuffer{frame.buffer, static_cast<uint32_t>(GlobalSize(frame.buffer) - 1), 0};
    } else {
        return 0;
    }
    PendingErrorAside aside(st->error);
    return LocateLine(st, buffer, frame.line_position, frame.function, where);
}

const char* frame_type(EngineState* st, uint16_t type) {
    switch (type) {
    case FRAME_IF: return "if";
    case FRAME_ELSE: return "else";
    case FRAME_GOSUB_FALSE:
    case FRAME_GOSUB_TRUE:
    case FRAME_GOSUB_NONE: return "gosub";
    case FRAME_FUNCTION: return "<udf>";
    default: break;
    }
    const char* name = type < KEYWORD_COUNT ? keyword_name(st, type) : nullptr;
    return name && name[0] ? name : "<unknown>";
}

void variable_text(EngineState* st, const VariableSlot& slot, char* out, size_t size) {
    const uint32_t flags = slot.v.flags;
    if (flags == VF_UNDEFINED)
        lstrcpynA(out, "<undefined>", static_cast<int>(size));
    else if (flags & VF_UNINITIALIZED)
        lstrcpynA(out, "<uninitialized>", static_cast<int>(size));
    else if (flags & VF_ARRAY)
        lstrcpynA(out, "<array>", static_cast<int>(size));
    else if ((flags & VF_BINBUF) == VF_BINBUF)
        snprintf(out, size, "%ld  <binary buffer>", static_cast<long>(slot.v.integer));
    else if (flags & (VF_INT | VF_STRING | VF_FLOAT | VF_UNICODE))
        trace_value_text(st, slot.v, out, size);
    else
        lstrcpynA(out, "<complex data type>", static_cast<int>(size));
}

int used_variables(EngineState* st) {
    int count = 0;
    for (uint16_t i = 0; i < st->table.used; ++i)
        if (st->table.slots && st->table.slots[i].name[0]) ++count;
    return count;
}

template <size_t N, typename T>
int used_entries(const T (&table)[N], bool (*used)(const T&)) {
    int count = 0;
    for (const T& entry : table)
        if (used(entry)) ++count;
    return count;
}

bool file_used(const FileEntry& entry) { return entry.handle != nullptr && entry.handle != INVALID_HANDLE_VALUE; }
bool binbuf_used(const BinaryBufferEntry& entry) { return entry.handle != nullptr; }

}  // namespace

void trace_dump_functions(EngineState* st) {
    TraceOutput out(st);
    out.put("\r\n---------- Begin function table dump ----------\r\n");
    for (int id = 0; id < KEYWORD_COUNT; ++id)
        if (is_callable(KeywordTable[id])) put_function_row(out, KeywordTable[id], id);
    const auto* host = static_cast<const KeywordEntry*>(st->host_keywords);
    for (int i = 0; host && i <= HOST_ID_LAST - HOST_ID_BASE && host[i].length != 0; ++i)
        put_function_row(out, host[i], HOST_ID_BASE + i);
    out.put("------------------ Extenders ------------------\r\n");
    for (int i = 0; i < ExtenderFunctionCount && i < EXTENDER_FUNCTIONS; ++i)
        put_function_row(out, ExtenderFunctionTable[i], EXTENDER_ID_BASE + i);
    close_dump(out, "----------- End function table dump -----------");
}

void trace_dump_variables(EngineState* st) {
    TraceOutput out(st);
    out.put("\r\n---------- Begin variable table dump ----------\r\n");
    char text[LINE_BUFFER_BYTES + 4];
    for (uint16_t i = 0; st->table.slots && i < st->table.used; ++i) {
        const VariableSlot& slot = st->table.slots[i];
        if (!slot.name[0]) continue;
        variable_text(st, slot, text, sizeof text);
        out.printf("%-13s  %s\r\n", slot.name, text);
    }
    close_dump(out, "----------- End variable table dump -----------");
}

void trace_dump_structures(EngineState* st) {
    TraceOutput out(st);
    out.put("\r\n---------- Begin structure stack dump ----------\r\n");
    const int depth = st->structure_depth < STRUCTURE_FRAMES ? st->structure_depth : STRUCTURE_FRAMES;
    for (int i = 0; i < depth; ++i) {
        const StructureFrame& frame = st->frames[i];
        LineLocation where;
        memset(&where, 0, sizeof where);
        const long line = frame_line(st, frame, &where);
        char text[LINE_BUFFER_BYTES + 8];
        readable_statement(where.text, text, sizeof text);
        out.printf("%d\t%s\t%ld\t%s\t%s\r\n", i + 1, frame_type(st, frame.type), line, text, where.file);
    }
    close_dump(out, "-------- End structure stack dump --------");
}

void trace_dump_settings(EngineState* st) {
    char path[MAX_PATH];
    settings_file_path(SETTINGS_INI, path, sizeof path);
    TraceOutput out(st);
    out.put("\r\n---------- Begin ORLUNDEX.INI dump ----------\r\n");
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        out.put("<File not found>\r\n");
    } else {
        const DWORD size = GetFileSize(file, nullptr);
        HGLOBAL block = size != INVALID_FILE_SIZE ? GlobalAlloc(GMEM_MOVEABLE, size + 1) : nullptr;
        char* text = block ? static_cast<char*>(GlobalLock(block)) : nullptr;
        DWORD read = 0;
        if (!text)
            out.put("<Unable to allocate or lock memory>\r\n");
        else if (!ReadFile(file, text, size, &read, nullptr) || read != size)
            out.put("<Error reading file>\r\n");
        else
            out.write(text, read);
        if (text) GlobalUnlock(block);
        if (block) GlobalFree(block);
        CloseHandle(file);
    }
    close_dump(out, "----------- End ORLUNDEX.INI dump -----------");
}

// Items: "" or "all" for every counter, or one of strings, variables,
// files, binarybuffers, extenders, structures, udfs.
void trace_dump_internal(EngineState* st, const char* item) {
    const char* name = item ? item : "";
    const bool all = name[0] == '\0' || lstrcmpiA(name, "all") == 0;
    auto wants = [&](const char* what) { return all || lstrcmpiA(name, what) == 0; };
    TraceOutput out(st);
    out.put("\r\n---------- Begin internal info dump -----------\r\n");
    bool known = all;
    if (wants("strings")) {
        known = true;
        out.printf("Total memory allocated for strings, in bytes: %ld\r\n",
                   static_cast<long>(heap_stats(st).used_bytes));
    }
    if (wants("variables")) {
        known = true;
        const int used = used_variables(st);
        out.printf("Number of variables assigned: %ld\r\n", static_cast<long>(used));
        out.printf("Number of variable slots available: %ld\r\n", static_cast<long>(st->table.capacity - used));
        out.put("List of variables assigned:\r\n");
        for (uint16_t i = 0; st->table.slots && i < st->table.used; ++i)
            if (st->table.slots[i].name[0]) out.printf("%s\r\n", st->table.slots[i].name);
    }
    if (wants("files")) {
        known = true;
        const int open = used_entries(st->files, file_used);
        out.printf("Number of files open: %ld\r\nNumber of file slots available: %ld\r\n", static_cast<long>(open),
                   static_cast<long>(FILE_SLOTS - open));
    }
    if (wants("binarybuffers")) {
        known = true;
        const int open = used_entries(st->binbufs, binbuf_used);
        out.printf("Number of binary buffers open: %ld\r\nNumber of binary buffer slots available: %ld\r\n",
                   static_cast<long>(open), static_cast<long>(BINBUF_SLOTS - open));
    }
    if (wants("extenders")) {
        known = true;
        out.printf("Number of extenders loaded: %ld\r\nNumber of extender slots available: %ld\r\n",
                   static_cast<long>(st->extender_count), static_cast<long>(EXTENDER_SLOTS - st->extender_count));
        out.printf("Number of extender functions loaded: %ld\r\n"
                   "Number of extender function slots available: %ld\r\n",
                   static_cast<long>(ExtenderFunctionCount),
                   static_cast<long>(EXTENDER_FUNCTIONS - ExtenderFunctionCount));
    }
    if (wants("structures")) {
        known = true;
        out.printf("Current structure depth: %ld\r\nCurrent structure slots remaining: %ld\r\n",
                   static_cast<long>(st->structure_depth), static_cast<long>(STRUCTURE_FRAMES - st->structure_depth));
        out.printf("Current Call level depth: %ld\r\n", static_cast<long>(st->call_depth));
    }
    if (wants("udfs")) {
        known = true;
        out.printf("Number of UDF's defined: %ld\r\nNumber of UDF slots available: %ld\r\n",
                   static_cast<long>(st->function_count), static_cast<long>(UDF_SLOTS - st->function_count));
    }
    if (!known) out.printf("Invalid param: %s\r\n", name);
    close_dump(out, "----------- End internal info dump ------------");
}
