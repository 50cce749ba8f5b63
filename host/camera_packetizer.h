// The emulated camera's packetizer: one compressed picture in, packet pairs out.
//
// Each pair carries one 124-byte record: 60 payload bytes after the 4-byte sync
// header (flags, marker 0xBA or 0xBB, 16-bit big-endian record offset) and 64
// payload bytes at the start of the data packet. The first pair of a picture has
// the start-of-frame flag.
//
// Record offsets follow the capture buffer layout: the decoder reads the finished
// buffer's upper half, which is the frame's bytes 0..16383 (copied up at the next
// start of frame) followed by what lies from 49152 on. So picture bytes 0..16383
// travel at their own offsets and bytes from 16384 on at offset + 32768. The last
// record may start at 65288 at most, so a picture holds at most kMaxPictureBytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/usbcamd_transfer.h"

namespace host {

constexpr uint32_t kRecordBytes = 124;
constexpr uint32_t kLowRegionBytes = 16384;
constexpr uint32_t kHighRegionShift = 32768;
constexpr uint32_t kLastRecordOffset = 65288;
constexpr uint32_t kMaxPictureBytes = kLastRecordOffset + kRecordBytes - kHighRegionShift;  // 32644

// Seeded fault injection: each rate is the chance per pair, 0 to 1.
struct PacketFaults {
    uint32_t seed = 1;
    double syncErrorRate = 0;     // negative Status on the sync packet
    double dataErrorRate = 0;     // negative Status on the data packet
    double shortDataRate = 0;     // data packet shorter than MaximumPacketSize
    double emptyDataRate = 0;     // data packet of Length 0
    double lostPairRate = 0;      // the pair never arrives
    double missingMarkerRate = 0; // marker byte 0x00
    double wrongMarkerRate = 0;   // marker byte other than 0xBA/0xBB
    double corruptByteRate = 0;   // one payload byte flipped
};

struct PacketizerStats {
    uint32_t pairs = 0;
    uint32_t syncErrors = 0, dataErrors = 0, shortData = 0, emptyData = 0;
    uint32_t lostPairs = 0, missingMarkers = 0, wrongMarkers = 0, corruptBytes = 0;
    uint32_t Faults() const
    {
        return syncErrors + dataErrors + shortData + emptyData + lostPairs + missingMarkers + wrongMarkers +
               corruptBytes;
    }
};

struct PacketizerOptions {
    uint16_t dataMaxPacketSize = 1023;
    uint8_t marker = 0xBA;  // 0xBA or 0xBB
    PacketFaults faults;
};

// Capture-buffer offset of each record of a picture of this many bytes, in sending order,
// with the picture position it starts at.
struct RecordPlacement {
    uint32_t pictureOffset;
    uint32_t bufferOffset;
};
std::vector<RecordPlacement> PlanRecords(uint32_t pictureBytes);

// Fails with a message when the picture does not fit (the camera must compress harder).
bool PacketizePicture(const std::vector<uint8_t>& picture, const PacketizerOptions& options,
                      std::vector<PacketPair>& pairs, PacketizerStats* stats, std::string* error);

// A pair that only starts a frame: it finishes the picture before it.
PacketPair StartOfFramePair(uint16_t dataMaxPacketSize, uint8_t marker = 0xBA);

}  // namespace host
