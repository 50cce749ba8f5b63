#include "decoder/decoder_memory.h"

#include "decoder/decoder_errors.h"
#include "platform/pool.h"

int32_t LatchError(int32_t code)
{
    g_Decoder.errorCode = code;
    DecoderFreeAll();
    return code;
}

void DecoderFreeAll()
{
    DecoderContext& d = g_Decoder;
    d.source = nullptr;
    for (int32_t i = 0; i < MAX_POOL_BLOCKS; ++i) {
        if (d.allocPtr[i] != nullptr) {
            ExFreePool(d.allocPtr[i]);
            d.allocPtr[i] = nullptr;
        }
    }
    ++d.releaseCount;
}

void* AllocBlock(int32_t bytes)
{
    DecoderContext& d = g_Decoder;
    int32_t slot = 0;
    while (slot < MAX_POOL_BLOCKS && d.allocPtr[slot] != nullptr)
        ++slot;
    if (slot == MAX_POOL_BLOCKS) {
        LatchError(DECERR_NO_FREE_SLOT);
        return nullptr;
    }
    // A negative request can only be a caller's overflow: refuse it rather than wrap the size.
    if (bytes < 0) {
        LatchError(DECERR_OUT_OF_MEMORY);
        return nullptr;
    }
    const SIZE_T size = static_cast<SIZE_T>(bytes) + static_cast<SIZE_T>(BLOCK_SLACK_BYTES);
    void* block = ExAllocatePoolWithTag(PagedPool, size, POOL_TAG);
    if (block == nullptr) {
        LatchError(DECERR_OUT_OF_MEMORY);
        return nullptr;
    }
    RtlZeroMemory(block, size);
    d.allocPtr[slot] = block;
    return block;
}
