// Kernel registry queries and the wide-string length routine.
#pragma once

#include "platform/base_types.h"
#include "platform/ntstatus.h"

// Value types.
constexpr ULONG REG_NONE = 0;
constexpr ULONG REG_SZ = 1;
constexpr ULONG REG_BINARY = 3;
constexpr ULONG REG_DWORD = 4;

// RelativeTo of RtlQueryRegistryValues: the path is a full key path; OPTIONAL may be or-ed in.
constexpr ULONG RTL_REGISTRY_ABSOLUTE = 0;
constexpr ULONG RTL_REGISTRY_OPTIONAL = 0x80000000u;

// Query-table flags. DIRECT: the value goes straight to EntryContext, no routine is called.
constexpr ULONG RTL_QUERY_REGISTRY_DIRECT = 0x00000020;

typedef NTSTATUS (*PRTL_QUERY_REGISTRY_ROUTINE)(PCWSTR ValueName, ULONG ValueType, PVOID ValueData,
                                                ULONG ValueLength, PVOID Context, PVOID EntryContext);

// One value to look up. A table ends with an entry that is all zeros.
// DefaultType/DefaultData/DefaultLength: what to deliver when the value is missing
// (DefaultType REG_NONE: no default).
struct RTL_QUERY_REGISTRY_TABLE {
    PRTL_QUERY_REGISTRY_ROUTINE QueryRoutine;
    ULONG Flags;
    PCWSTR Name;
    PVOID EntryContext;
    ULONG DefaultType;
    PVOID DefaultData;
    ULONG DefaultLength;
};

extern "C" NTSTATUS RtlQueryRegistryValues(ULONG RelativeTo, PCWSTR Path, RTL_QUERY_REGISTRY_TABLE* QueryTable,
                                           PVOID Context, PVOID Environment);

// Characters before the terminating zero. C++ linkage, so it overloads rather than
// clashes with a C library's wchar_t version.
SIZE_T wcslen(const WCHAR* string);
