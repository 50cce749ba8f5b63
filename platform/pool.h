// Kernel pool services and the memory helpers the driver may use.
#pragma once

#include "platform/base_types.h"

enum POOL_TYPE : int32_t {
    NonPagedPool = 0,
    PagedPool = 1,
};

// Tags are four characters stored in memory order: "Wdm " is 0x206D6457.
constexpr ULONG MakePoolTag(char a, char b, char c, char d)
{
    return static_cast<ULONG>(static_cast<UCHAR>(a)) | (static_cast<ULONG>(static_cast<UCHAR>(b)) << 8) |
           (static_cast<ULONG>(static_cast<UCHAR>(c)) << 16) | (static_cast<ULONG>(static_cast<UCHAR>(d)) << 24);
}

constexpr ULONG POOL_TAG = MakePoolTag('W', 'd', 'm', ' ');
static_assert(POOL_TAG == 0x206D6457u, "pool tag is \"Wdm \"");

extern "C" {
PVOID ExAllocatePoolWithTag(POOL_TYPE poolType, SIZE_T numberOfBytes, ULONG tag);
void ExFreePool(PVOID block);
SIZE_T RtlCompareMemory(const void* source1, const void* source2, SIZE_T length);
}

// The kernel's copy and fill routines; the compiler builtins lower to memmove/memcpy/memset,
// which both the kernel and the host C library provide.
#define RtlMoveMemory(dest, src, n) __builtin_memmove((dest), (src), (n))
#define RtlCopyMemory(dest, src, n) __builtin_memcpy((dest), (src), (n))
#define RtlZeroMemory(dest, n) __builtin_memset((dest), 0, (n))
#define RtlFillMemory(dest, n, value) __builtin_memset((dest), (value), (n))
