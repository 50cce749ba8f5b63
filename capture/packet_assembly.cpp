#include "capture/packet_assembly.h"

#include "capture/capture_buffers.h"
#include "driver/device_context.h"
#include "platform/pool.h"

namespace {

constexpr uint32_t MAX_PACKETS_PER_TRANSFER = 32;

bool IsRecordMarker(uint8_t marker) { return marker == SYNC_MARKER_A || marker == SYNC_MARKER_B; }

uint32_t ClampRecordOffset(uint32_t offset) { return offset > MAX_RECORD_OFFSET ? MAX_RECORD_OFFSET : offset; }

// Packets past the 32nd of a transfer are not read: the class library's buffers hold 32.
bool WithinTransfer(const USBD_ISO_PACKET_DESCRIPTOR* packet)
{
    return packet->Offset <= (MAX_PACKETS_PER_TRANSFER - 1) * packet->Length;
}

// The finished buffer keeps its first 16 KB in its upper half, where the decoder reads it.
void CopyHeadToUpperHalf(CaptureBuffer* finished, uint32_t recordOffset)
{
    const uint32_t start = recordOffset == HEAD_COPY_SKIP_OFFSET ? HEAD_COPY_SKIP_OFFSET : 0;
    RtlCopyMemory(finished->bytes + UPPER_HALF_OFFSET + start, finished->bytes + start, HEAD_COPY_SIZE - start);
}

}  // namespace

void AppendSideRecord(const uint8_t* syncBytes, const uint8_t* dataBytes)
{
    CaptureBuffer* fill = g_FillingB != 0 ? g_FrameBufB : g_FrameBufA;
    const uint32_t offset = g_FillingB != 0 ? g_FillOffsetB : g_FillOffsetA;
    auto* record = reinterpret_cast<SideRecord*>(fill->bytes + offset);
    RtlCopyMemory(record->syncPayload, syncBytes + SYNC_HEADER_SIZE, SYNC_PAYLOAD_SIZE);
    RtlCopyMemory(record->dataPayload, dataBytes, DATA_PAYLOAD_SIZE);
}

ULONG CamProcessUSBPacket(PDEVICE_OBJECT, PVOID DeviceContextPointer, PVOID, USBD_ISO_PACKET_DESCRIPTOR* SyncPacket,
                          PVOID SyncBuffer, USBD_ISO_PACKET_DESCRIPTOR* DataPacket, PVOID DataBuffer,
                          PBOOLEAN FrameIsComplete, PBOOLEAN NextFrameIsStill)
{
    *NextFrameIsStill = FALSE;
    auto* device = static_cast<DeviceContext*>(DeviceContextPointer);
    // Without both buffers (a partial allocation, or after removal) the pair is dropped untouched.
    if (g_FrameBufA == nullptr || g_FrameBufB == nullptr || device->interfaceInfo == nullptr)
        return 0;

    const uint8_t* syncBytes = static_cast<const uint8_t*>(SyncBuffer);
    if (SyncPacket->Offset != 0 && SyncPacket->Length != 0)
        syncBytes += SyncPacket->Offset - SyncPacket->Offset / SyncPacket->Length;
    const uint8_t* dataBytes = static_cast<const uint8_t*>(DataBuffer);

    uint8_t flags = syncBytes[0];
    const uint8_t marker = syncBytes[1];
    const ULONG maxPacketSize = device->interfaceInfo->Pipes[1].MaximumPacketSize;
    const uint32_t recordOffset =
        IsRecordMarker(marker) ? (static_cast<uint32_t>(syncBytes[2]) << 8) | syncBytes[3] : MAX_RECORD_OFFSET;
    const bool recordAllowed = WithinTransfer(SyncPacket) && WithinTransfer(DataPacket) && IsRecordMarker(marker);

    // A faulty sync packet never starts a frame; its marker and offset still count.
    if (SyncPacket->Status < 0)
        flags = 0;

    ULONG result = 0;
    const auto judgeDataPacket = [&]() {
        if (DataPacket->Length != 0 && DataPacket->Length == maxPacketSize)
            result = maxPacketSize;
        else
            ++device->badPacketCount;
    };

    if ((flags & SYNC_FLAG_START_OF_FRAME) != 0) {
        if (g_FillingB == 1) {
            g_FillOffsetA = ClampRecordOffset(recordOffset);
            CopyHeadToUpperHalf(g_FrameBufB, recordOffset);
            g_FillingB = 0;
            g_FillingA = 1;
        } else {
            g_FillOffsetB = ClampRecordOffset(recordOffset);
            CopyHeadToUpperHalf(g_FrameBufA, recordOffset);
            g_FillingA = 0;
            g_FillingB = 1;
        }
        if (recordAllowed)
            AppendSideRecord(syncBytes, dataBytes);
        *FrameIsComplete = TRUE;
        device->frameGood = device->badPacketCount == 0 ? 1 : 0;
        device->badPacketCount = 0;
        judgeDataPacket();
    } else if ((flags & SYNC_FLAG_IGNORE_MASK) == 0) {
        (g_FillingB != 0 ? g_FillOffsetB : g_FillOffsetA) = ClampRecordOffset(recordOffset);
        if (recordAllowed)
            AppendSideRecord(syncBytes, dataBytes);
        judgeDataPacket();
    }

    if (SyncPacket->Status < 0 || DataPacket->Status < 0)
        ++device->badPacketCount;
    return result;
}
