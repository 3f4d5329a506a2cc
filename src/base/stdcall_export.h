// Exports a __stdcall entry under its plain name on both targets.
#pragma once

// The Win32 compiler decorates stdcall names (ZeradIrevav@16); hosts and
// extenders look the entries up by their plain names, so on Win32 the linker
// is told through a directive to export the decorated symbol under the plain
// name only. A wrong byte count names a symbol that does not exist and fails
// the link, so the count cannot drift from the signature. GCC emits
// top-level asm first, in .text, and COFF has no .previous, hence the plain
// switch back to .text. Win64 has one calling convention and no decoration.
#if defined(__i386__)
#define KESTR_STDCALL_API extern "C"
#define KESTR_STDCALL_EXPORT(name, bytes) \
    __asm__(".section .drectve\n\t.ascii \" -export:" #name "=" #name "@" #bytes "\"\n\t.text")
#else
#define KESTR_STDCALL_API extern "C" __declspec(dllexport)
#define KESTR_STDCALL_EXPORT(name, bytes) static_assert(sizeof(#name) > 1 && (bytes) > 0, #name)
#endif
