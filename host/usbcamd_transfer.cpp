#include "host/usbcamd_transfer.h"

#include <algorithm>
#include <cstring>

#include "host/execution_level.h"

namespace host {

uint32_t DataPacketStride(uint16_t dataMaxPacketSize)
{
    return std::max<uint32_t>(dataMaxPacketSize, kMinDataPacketArea);
}

std::vector<PairResult> DeliverPacketPairs(PacketCallback callback, void* deviceContext,
                                           const std::vector<PacketPair>& pairs, uint16_t dataMaxPacketSize)
{
    const uint32_t dataStride = DataPacketStride(dataMaxPacketSize);
    const uint32_t dataPacketsPerTransfer = std::min(kMaxPacketsPerTransfer, kDataTransferSize / dataStride);
    std::vector<PairResult> results;
    results.reserve(pairs.size());

    for (size_t first = 0; first < pairs.size(); first += dataPacketsPerTransfer) {
        const size_t count = std::min<size_t>(dataPacketsPerTransfer, pairs.size() - first);
        std::vector<uint8_t> syncTransfer(kSyncTransferSize, 0);
        std::vector<uint8_t> dataTransfer(kDataTransferSize, 0);
        std::vector<USBD_ISO_PACKET_DESCRIPTOR> syncPackets(count), dataPackets(count);

        for (size_t i = 0; i < count; ++i) {
            const PacketPair& pair = pairs[first + i];
            const uint32_t syncBytes = std::min<uint32_t>(static_cast<uint32_t>(pair.sync.size()), kSyncPacketStride - 1);
            std::memcpy(syncTransfer.data() + i * (kSyncPacketStride - 1), pair.sync.data(), syncBytes);
            syncPackets[i] = {static_cast<ULONG>(i * kSyncPacketStride), kSyncPacketStride, pair.syncStatus};

            const uint32_t dataBytes = std::min<uint32_t>(static_cast<uint32_t>(pair.data.size()), dataStride);
            std::memcpy(dataTransfer.data() + i * dataStride, pair.data.data(), dataBytes);
            dataPackets[i] = {static_cast<ULONG>(i * dataStride), dataBytes, pair.dataStatus};
        }

        for (size_t i = 0; i < count; ++i) {
            BOOLEAN frameComplete = FALSE;
            BOOLEAN nextFrameIsStill = TRUE;
            PairResult result;
            {
                DispatchLevelScope dispatch;
                result.bytesKept = callback(nullptr, deviceContext, nullptr, &syncPackets[i], syncTransfer.data(),
                                            &dataPackets[i], dataTransfer.data() + i * dataStride, &frameComplete,
                                            &nextFrameIsStill);
            }
            result.frameComplete = frameComplete != FALSE;
            results.push_back(result);
        }
    }
    return results;
}

}  // namespace host
