// How the emulated camera class library hands isochronous packets to the driver.
//
// This is the one place that fixes the packet-descriptor contract:
//
// - Packets travel in transfers of at most 32 pairs (kMaxPacketsPerTransfer): a sync
//   transfer buffer of 4096 bytes and a data transfer buffer of 32768 bytes, the
//   MaximumTransferSize the driver asks for on each pipe.
// - Sync packet i of a transfer has the descriptor Offset i * S and Length S, where the
//   stride S is 4096 / 32 = 128 bytes; a sync packet is sent at full length. The
//   library hands the sync transfer over compacted by one byte per stride (its
//   per-packet status byte is stripped), so packet i's bytes start at byte
//   Offset - Offset / Length = i * (S - 1) of SyncBuffer, and SyncBuffer is the start
//   of the transfer for every pair. Each packet area is S - 1 = 127 bytes; a packet's
//   64 meaningful bytes (4 header + 60 payload) lie inside it.
// - Data packet i lies at byte i * D of the data transfer, where the stride D is the
//   data pipe's MaximumPacketSize, but at least 64. DataBuffer points at the packet's
//   own bytes; its descriptor has Offset i * D and the Length that arrived (possibly
//   short or 0). Its area is D bytes, so the 64 bytes the driver copies lie inside it
//   whatever the Length.
// - Both buffers are exactly their transfer size, so under AddressSanitizer any read
//   outside them is reported.
// - The packet callback runs at dispatch level (see execution_level.h).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/kernel_objects.h"
#include "platform/usbd.h"

namespace host {

constexpr uint32_t kMaxPacketsPerTransfer = 32;
constexpr uint32_t kSyncTransferSize = 4096;
constexpr uint32_t kDataTransferSize = 32768;
constexpr uint32_t kSyncPacketStride = kSyncTransferSize / kMaxPacketsPerTransfer;
constexpr uint32_t kMinDataPacketArea = 64;

// One sync/data packet pair as the camera sent it.
struct PacketPair {
    std::vector<uint8_t> sync;  // up to the sync stride; header and payload
    std::vector<uint8_t> data;  // the bytes that arrived; its size is the descriptor Length
    USBD_STATUS syncStatus = 0;
    USBD_STATUS dataStatus = 0;
};

using PacketCallback = ULONG (*)(PDEVICE_OBJECT, PVOID, PVOID, USBD_ISO_PACKET_DESCRIPTOR*, PVOID,
                                 USBD_ISO_PACKET_DESCRIPTOR*, PVOID, PBOOLEAN, PBOOLEAN);

// What the driver answered for one pair.
struct PairResult {
    ULONG bytesKept = 0;
    bool frameComplete = false;
};

// Packs the pairs into transfers by the contract above and calls the packet callback
// once per pair, in order, at dispatch level.
std::vector<PairResult> DeliverPacketPairs(PacketCallback callback, void* deviceContext,
                                           const std::vector<PacketPair>& pairs, uint16_t dataMaxPacketSize);

uint32_t DataPacketStride(uint16_t dataMaxPacketSize);

}  // namespace host
