#include "host/camera_packetizer.h"

#include <algorithm>
#include <random>

namespace host {
namespace {

constexpr uint8_t kStartOfFrame = 0x80;
constexpr uint32_t kSyncPayloadBytes = 60;
constexpr uint32_t kDataPayloadBytes = 64;
constexpr USBD_STATUS kTransferError = static_cast<USBD_STATUS>(0xC0000011u);

PacketPair MakePair(const uint8_t* record, uint32_t bufferOffset, bool startOfFrame, uint8_t marker,
                    uint16_t dataMaxPacketSize)
{
    PacketPair pair;
    pair.sync.assign(kSyncPacketStride - 1, 0);
    pair.sync[0] = startOfFrame ? kStartOfFrame : 0;
    pair.sync[1] = marker;
    pair.sync[2] = static_cast<uint8_t>(bufferOffset >> 8);
    pair.sync[3] = static_cast<uint8_t>(bufferOffset);
    std::copy(record, record + kSyncPayloadBytes, pair.sync.begin() + 4);
    // A data packet is sent at MaximumPacketSize; one smaller than 64 bytes cuts the record short.
    pair.data.assign(std::max<size_t>(dataMaxPacketSize, kDataPayloadBytes), 0);
    std::copy(record + kSyncPayloadBytes, record + kRecordBytes, pair.data.begin());
    pair.data.resize(dataMaxPacketSize);
    return pair;
}

}  // namespace

std::vector<RecordPlacement> PlanRecords(uint32_t pictureBytes)
{
    std::vector<RecordPlacement> plan;
    for (uint32_t p = 0; p < pictureBytes && p < kLowRegionBytes; p += kRecordBytes)
        plan.push_back({p, p});
    // The record that straddles 16384 is sent again in the high region, so no byte is missing there.
    const uint32_t firstHigh = (kLowRegionBytes / kRecordBytes) * kRecordBytes;
    for (uint32_t p = firstHigh; p < pictureBytes; p += kRecordBytes) {
        const uint32_t start = std::min(p, kMaxPictureBytes - kRecordBytes);
        plan.push_back({start, start + kHighRegionShift});
    }
    return plan;
}

bool PacketizePicture(const std::vector<uint8_t>& picture, const PacketizerOptions& options,
                      std::vector<PacketPair>& pairs, PacketizerStats* stats, std::string* error)
{
    if (picture.empty() || picture.size() > kMaxPictureBytes) {
        if (error)
            *error = "picture of " + std::to_string(picture.size()) + " bytes does not fit the camera's " +
                     std::to_string(kMaxPictureBytes) + "-byte frame layout";
        return false;
    }
    PacketizerStats local;
    PacketizerStats& s = stats ? *stats : local;
    const PacketFaults& f = options.faults;
    std::mt19937 random(f.seed);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    auto roll = [&](double rate) { return rate > 0 && chance(random) < rate; };

    const uint16_t maxPacket = options.dataMaxPacketSize;
    std::vector<uint8_t> record(kRecordBytes);
    bool first = true;
    for (const RecordPlacement& placement : PlanRecords(static_cast<uint32_t>(picture.size()))) {
        std::fill(record.begin(), record.end(), 0);
        const size_t n = std::min<size_t>(kRecordBytes, picture.size() - placement.pictureOffset);
        std::copy_n(picture.begin() + placement.pictureOffset, n, record.begin());

        PacketPair pair = MakePair(record.data(), placement.bufferOffset, first, options.marker, maxPacket);
        ++s.pairs;
        // The start of frame is never lost: a stream without it has no frame to judge.
        if (!first && roll(f.lostPairRate)) {
            ++s.lostPairs;
            continue;
        }
        if (roll(f.syncErrorRate)) {
            pair.syncStatus = kTransferError;
            ++s.syncErrors;
        }
        if (roll(f.dataErrorRate)) {
            pair.dataStatus = kTransferError;
            ++s.dataErrors;
        }
        if (roll(f.emptyDataRate)) {
            pair.data.clear();
            ++s.emptyData;
        } else if (maxPacket > 1 && roll(f.shortDataRate)) {
            pair.data.resize(std::uniform_int_distribution<size_t>(1, maxPacket - 1)(random));
            ++s.shortData;
        }
        if (roll(f.missingMarkerRate)) {
            pair.sync[1] = 0x00;
            ++s.missingMarkers;
        } else if (roll(f.wrongMarkerRate)) {
            pair.sync[1] = 0xBC;
            ++s.wrongMarkers;
        }
        if (roll(f.corruptByteRate)) {
            const size_t at = std::uniform_int_distribution<size_t>(0, kRecordBytes - 1)(random);
            const uint8_t flip = static_cast<uint8_t>(1u << std::uniform_int_distribution<int>(0, 7)(random));
            if (at < kSyncPayloadBytes)
                pair.sync[4 + at] ^= flip;
            else if (at - kSyncPayloadBytes < pair.data.size())
                pair.data[at - kSyncPayloadBytes] ^= flip;
            ++s.corruptBytes;
        }
        pairs.push_back(std::move(pair));
        first = false;
    }
    return true;
}

PacketPair StartOfFramePair(uint16_t dataMaxPacketSize, uint8_t marker)
{
    const std::vector<uint8_t> record(kRecordBytes, 0);
    return MakePair(record.data(), 0, true, marker, dataMaxPacketSize);
}

}  // namespace host
