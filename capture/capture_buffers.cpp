#include "capture/capture_buffers.h"

#include "platform/pool.h"

void* g_WorkBlock = nullptr;
CaptureBuffer* g_FrameBufA = nullptr;
CaptureBuffer* g_FrameBufB = nullptr;
uint32_t g_FillOffsetA = 0;
uint32_t g_FillOffsetB = 0;
uint32_t g_FillingA = 0;
uint32_t g_FillingB = 0;

namespace {

CaptureBuffer* AllocateZeroedCaptureBuffer()
{
    auto* buffer = static_cast<CaptureBuffer*>(ExAllocatePoolWithTag(NonPagedPool, CAPTURE_BUFFER_SIZE, POOL_TAG));
    if (buffer != nullptr)
        RtlZeroMemory(buffer, CAPTURE_BUFFER_SIZE);
    return buffer;
}

template <typename T>
void FreeAndClear(T*& block)
{
    if (block != nullptr) {
        ExFreePool(block);
        block = nullptr;
    }
}

}  // namespace

// A failure leaves what was obtained so far allocated; later allocations are not tried.
NTSTATUS AllocateCaptureBuffers()
{
    g_WorkBlock = ExAllocatePoolWithTag(NonPagedPool, WORK_BLOCK_SIZE, POOL_TAG);
    if (g_WorkBlock == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    g_FrameBufA = AllocateZeroedCaptureBuffer();
    if (g_FrameBufA == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    g_FrameBufB = AllocateZeroedCaptureBuffer();
    if (g_FrameBufB == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    return STATUS_SUCCESS;
}

void FreeCaptureBuffers()
{
    FreeAndClear(g_WorkBlock);
    FreeAndClear(g_FrameBufA);
    FreeAndClear(g_FrameBufB);
}
