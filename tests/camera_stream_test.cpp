// Pictures from the emulated camera, through the class library's transfers and the
// packet callback, back out of the finished buffer's upper half.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "capture/capture_buffers.h"
#include "capture/packet_assembly.h"
#include "host/camera_packetizer.h"
#include "host/usbcamd_transfer.h"
#include "support/camera_device.h"

namespace {

std::vector<uint8_t> RandomPicture(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> picture(size);
    for (uint8_t& byte : picture)
        byte = static_cast<uint8_t>(random());
    return picture;
}

const CaptureBuffer* FinishedBuffer() { return g_FillingA != 0 ? g_FrameBufB : g_FrameBufA; }

class CameraStream : public testing::TestWithParam<size_t> {
protected:
    testsupport::CameraDevice device;

    std::vector<host::PairResult> Stream(const std::vector<uint8_t>& picture, const host::PacketizerOptions& options,
                                         host::PacketizerStats* stats = nullptr)
    {
        std::vector<host::PacketPair> pairs;
        std::string error;
        EXPECT_TRUE(host::PacketizePicture(picture, options, pairs, stats, &error)) << error;
        pairs.push_back(host::StartOfFramePair(options.dataMaxPacketSize));  // the next frame finishes this one
        return host::DeliverPacketPairs(CamProcessUSBPacket, device.context(), pairs, options.dataMaxPacketSize);
    }
};

TEST_P(CameraStream, PictureComesBackByteForByteFromTheUpperHalf)
{
    const std::vector<uint8_t> picture = RandomPicture(GetParam(), static_cast<uint32_t>(GetParam()));
    for (uint8_t marker : {uint8_t{0xBA}, uint8_t{0xBB}}) {
        host::PacketizerOptions options;
        options.marker = marker;
        const auto results = Stream(picture, options);
        ASSERT_FALSE(results.empty());
        EXPECT_TRUE(results.front().frameComplete);
        EXPECT_TRUE(results.back().frameComplete);
        for (const host::PairResult& result : results)
            EXPECT_EQ(result.bytesKept, 1023u);
        EXPECT_EQ(device.context()->frameGood, 1);
        const uint8_t* upper = FinishedBuffer()->bytes + UPPER_HALF_OFFSET;
        for (size_t i = 0; i < picture.size(); ++i)
            ASSERT_EQ(upper[i], picture[i]) << "picture byte " << i << ", marker " << int(marker);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, CameraStream,
                         testing::Values(1, 124, 125, 16383, 16384, 16385, 16492, 20000, 32611, 32612,
                                         host::kMaxPictureBytes));

TEST(CameraPacketizer, RefusesAPictureLargerThanTheFrameLayout)
{
    std::vector<host::PacketPair> pairs;
    std::string error;
    EXPECT_FALSE(host::PacketizePicture(std::vector<uint8_t>(host::kMaxPictureBytes + 1, 0), {}, pairs, nullptr, &error));
    EXPECT_NE(error.find("does not fit"), std::string::npos);
    EXPECT_TRUE(pairs.empty());
}

TEST(CameraPacketizer, RecordsCoverThePictureAndStayInsideTheBuffer)
{
    const auto plan = host::PlanRecords(host::kMaxPictureBytes);
    std::vector<bool> covered(host::kMaxPictureBytes, false);
    for (const host::RecordPlacement& record : plan) {
        EXPECT_LE(record.bufferOffset, MAX_RECORD_OFFSET);
        const uint32_t shift = record.pictureOffset < HEAD_COPY_SIZE && record.bufferOffset < UPPER_HALF_OFFSET ? 0 : 32768;
        EXPECT_EQ(record.bufferOffset, record.pictureOffset + shift);
        for (uint32_t i = 0; i < host::kRecordBytes && record.pictureOffset + i < covered.size(); ++i)
            covered[record.pictureOffset + i] = true;
    }
    EXPECT_EQ(std::count(covered.begin(), covered.end(), false), 0);
}

struct FaultCase {
    const char* name;
    host::PacketFaults faults;
    bool driverCountsIt;  // the driver can see this kind of fault
};

TEST(CameraFaultsTable, FaultsTheDriverCanSeeMarkTheFrameNotGood)
{
    const FaultCase cases[] = {
        {"sync error", {.seed = 3, .syncErrorRate = 0.2}, true},
        {"data error", {.seed = 4, .dataErrorRate = 0.2}, true},
        {"short data", {.seed = 5, .shortDataRate = 0.2}, true},
        {"empty data", {.seed = 6, .emptyDataRate = 0.2}, true},
        {"lost pair", {.seed = 7, .lostPairRate = 0.2}, false},
        {"missing marker", {.seed = 8, .missingMarkerRate = 0.2}, false},
        {"wrong marker", {.seed = 9, .wrongMarkerRate = 0.2}, false},
        {"corrupt byte", {.seed = 10, .corruptByteRate = 0.2}, false},
    };
    const std::vector<uint8_t> picture = RandomPicture(20000, 99);
    for (const FaultCase& c : cases) {
        testsupport::CameraDevice device;
        host::PacketizerOptions options;
        options.faults = c.faults;
        host::PacketizerStats stats;
        std::vector<host::PacketPair> pairs;
        ASSERT_TRUE(host::PacketizePicture(picture, options, pairs, &stats, nullptr));
        ASSERT_GT(stats.Faults(), 0u) << c.name;
        pairs.push_back(host::StartOfFramePair(options.dataMaxPacketSize));
        host::DeliverPacketPairs(CamProcessUSBPacket, device.context(), pairs, options.dataMaxPacketSize);
        EXPECT_EQ(device.context()->frameGood, c.driverCountsIt ? 0 : 1) << c.name;
        const uint8_t* upper = FinishedBuffer()->bytes + UPPER_HALF_OFFSET;
        if (!c.driverCountsIt) {
            EXPECT_FALSE(std::equal(picture.begin(), picture.end(), upper))
                << c.name << ": the driver cannot see it, yet the picture is damaged";
        }
    }
}

TEST(CameraFaultsTable, SameSeedSameFaults)
{
    host::PacketizerOptions options;
    options.faults = {.seed = 42, .dataErrorRate = 0.1, .lostPairRate = 0.05, .corruptByteRate = 0.1};
    const std::vector<uint8_t> picture = RandomPicture(30000, 1);
    std::vector<host::PacketPair> first, second;
    host::PacketizerStats a, b;
    host::PacketizePicture(picture, options, first, &a, nullptr);
    host::PacketizePicture(picture, options, second, &b, nullptr);
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].sync, second[i].sync);
        EXPECT_EQ(first[i].data, second[i].data);
        EXPECT_EQ(first[i].dataStatus, second[i].dataStatus);
    }
    EXPECT_EQ(a.Faults(), b.Faults());
}

}  // namespace
