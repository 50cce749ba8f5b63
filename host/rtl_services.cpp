// Run-time library services of the emulated kernel.
#include "platform/pool.h"

extern "C" SIZE_T RtlCompareMemory(const void* source1, const void* source2, SIZE_T length)
{
    const auto* a = static_cast<const uint8_t*>(source1);
    const auto* b = static_cast<const uint8_t*>(source2);
    SIZE_T n = 0;
    while (n < length && a[n] == b[n])
        ++n;
    return n;
}
