// Scalar types of the kernel platform, spelled as the platform spells them.
// Only compiler-provided freestanding headers are used, so this builds for
// Windows kernel targets as well as for the Linux host.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uint8_t UCHAR;
typedef uint16_t USHORT;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint8_t BOOLEAN;
typedef int32_t BOOL;
typedef char16_t WCHAR;
typedef void* PVOID;
typedef uintptr_t ULONG_PTR;
typedef size_t SIZE_T;

typedef UCHAR* PUCHAR;
typedef ULONG* PULONG;
typedef LONG* PLONG;
typedef BOOLEAN* PBOOLEAN;
typedef WCHAR* PWSTR;
typedef const WCHAR* PCWSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Global unique identifier, 16 bytes.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

inline bool IsEqualGUID(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

struct LARGE_INTEGER {
    LONGLONG QuadPart;
};
