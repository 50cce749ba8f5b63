#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "capture/capture_buffers.h"
#include "capture/packet_assembly.h"
#include "host/execution_level.h"
#include "host/kernel_pool.h"
#include "support/camera_device.h"

namespace {

constexpr USBD_STATUS kError = static_cast<USBD_STATUS>(0xC0000011u);
constexpr uint32_t kSyncStride = 128;
constexpr uint32_t kDataStride = 1023;  // the data pipe's MaximumPacketSize

// One hand-made pair: header fields, descriptor fields and where the packets lie.
struct Pair {
    uint8_t flags = 0;
    uint8_t marker = 0xBA;
    uint32_t offset = 0;
    uint8_t fill = 0x11;  // payload byte value: sync payload = fill, data payload = fill + 1
    uint32_t packetIndex = 0;
    uint32_t dataLength = 1023;
    USBD_STATUS syncStatus = 0;
    USBD_STATUS dataStatus = 0;
};

struct Outcome {
    ULONG result;
    bool frameComplete;
    bool nextFrameIsStill;
};

class PacketAssembly : public testing::Test {
protected:
    // Transfer buffers large enough for any packet index the tests use, laid out as the
    // class library does (sync packet i at i * (stride - 1), data packet i at i * 1023).
    std::vector<uint8_t> syncTransfer = std::vector<uint8_t>(64 * kSyncStride, 0);
    std::vector<uint8_t> dataTransfer = std::vector<uint8_t>(64 * kDataStride, 0);
    testsupport::CameraDevice device;

    Outcome Send(const Pair& p)
    {
        uint8_t* sync = syncTransfer.data() + p.packetIndex * (kSyncStride - 1);
        sync[0] = p.flags;
        sync[1] = p.marker;
        sync[2] = static_cast<uint8_t>(p.offset >> 8);
        sync[3] = static_cast<uint8_t>(p.offset);
        std::memset(sync + 4, p.fill, 60);
        uint8_t* data = dataTransfer.data() + p.packetIndex * kDataStride;
        std::memset(data, p.fill + 1, 64);
        USBD_ISO_PACKET_DESCRIPTOR syncPacket{p.packetIndex * kSyncStride, kSyncStride, p.syncStatus};
        USBD_ISO_PACKET_DESCRIPTOR dataPacket{p.packetIndex * kDataStride, p.dataLength, p.dataStatus};
        BOOLEAN complete = FALSE, still = TRUE;
        ULONG result;
        {
            host::DispatchLevelScope dispatch;
            result = CamProcessUSBPacket(nullptr, device.context(), nullptr, &syncPacket, syncTransfer.data(),
                                         &dataPacket, data, &complete, &still);
        }
        return {result, complete != FALSE, still != FALSE};
    }

    // The record at an offset of a buffer, or whether it is still all zeros.
    static bool HoldsRecord(const CaptureBuffer* buffer, uint32_t offset, uint8_t fill)
    {
        for (uint32_t i = 0; i < 60; ++i)
            if (buffer->bytes[offset + i] != fill)
                return false;
        for (uint32_t i = 60; i < 124; ++i)
            if (buffer->bytes[offset + i] != static_cast<uint8_t>(fill + 1))
                return false;
        return true;
    }
    static bool IsZero(const CaptureBuffer* buffer, uint32_t from, uint32_t count)
    {
        for (uint32_t i = 0; i < count; ++i)
            if (buffer->bytes[from + i] != 0)
                return false;
        return true;
    }
};

TEST_F(PacketAssembly, ContinuationPairAppendsItsRecordAtTheNamedOffset)
{
    const Outcome out = Send({.offset = 248, .fill = 0x21});
    EXPECT_EQ(out.result, 1023u);
    EXPECT_FALSE(out.frameComplete);
    EXPECT_FALSE(out.nextFrameIsStill);
    EXPECT_TRUE(HoldsRecord(g_FrameBufA, 248, 0x21));
    EXPECT_EQ(g_FillOffsetA, 248u);
    EXPECT_TRUE(IsZero(g_FrameBufB, 0, CAPTURE_BUFFER_SIZE));
    EXPECT_EQ(device.context()->badPacketCount, 0u);
}

TEST_F(PacketAssembly, EachStartOfFrameSwitchesBuffersAndFinishesTheOther)
{
    // Before the first start of frame, A is filled and both flags are 0.
    Send({.offset = 0, .fill = 0x30});
    EXPECT_EQ(g_FillingA, 0u);
    EXPECT_EQ(g_FillingB, 0u);

    Outcome out = Send({.flags = 0x80, .offset = 0, .fill = 0x40});
    EXPECT_TRUE(out.frameComplete);
    EXPECT_EQ(out.result, 1023u);
    EXPECT_EQ(g_FillingA, 0u);
    EXPECT_EQ(g_FillingB, 1u);
    EXPECT_TRUE(HoldsRecord(g_FrameBufA, UPPER_HALF_OFFSET, 0x30)) << "A's head copied into A's upper half";
    EXPECT_TRUE(HoldsRecord(g_FrameBufB, 0, 0x40)) << "the new frame's first record goes to B";

    Send({.offset = 124, .fill = 0x50});
    EXPECT_TRUE(HoldsRecord(g_FrameBufB, 124, 0x50));

    out = Send({.flags = 0x80, .offset = 0, .fill = 0x60});
    EXPECT_TRUE(out.frameComplete);
    EXPECT_EQ(g_FillingA, 1u);
    EXPECT_EQ(g_FillingB, 0u);
    EXPECT_TRUE(HoldsRecord(g_FrameBufB, UPPER_HALF_OFFSET, 0x40));
    EXPECT_TRUE(HoldsRecord(g_FrameBufB, UPPER_HALF_OFFSET + 124, 0x50));
    EXPECT_TRUE(HoldsRecord(g_FrameBufA, 0, 0x60));
}

struct HeadCopyCase {
    uint32_t offset;
    uint32_t copiedFrom;  // first byte copied into the upper half
};

class HeadCopy : public PacketAssembly, public testing::WithParamInterface<HeadCopyCase> {};

TEST_P(HeadCopy, CopiesTheFinishedHeadExceptBelow620WhenTheFrameStartsThere)
{
    const HeadCopyCase c = GetParam();
    for (uint32_t i = 0; i < HEAD_COPY_SIZE; ++i)
        g_FrameBufA->bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    std::memset(g_FrameBufA->bytes + UPPER_HALF_OFFSET, 0xEE, HEAD_COPY_SIZE + 1);
    Send({.flags = 0x80, .marker = 0xBA, .offset = c.offset});
    for (uint32_t i = 0; i < HEAD_COPY_SIZE; ++i) {
        const uint8_t expected = i < c.copiedFrom ? 0xEE : static_cast<uint8_t>(i * 7 + 3);
        ASSERT_EQ(g_FrameBufA->bytes[UPPER_HALF_OFFSET + i], expected) << "upper-half byte " << i;
    }
    EXPECT_EQ(g_FrameBufA->bytes[UPPER_HALF_OFFSET + HEAD_COPY_SIZE], 0xEE) << "nothing beyond 16 KB is copied";
}

INSTANTIATE_TEST_SUITE_P(Offsets, HeadCopy,
                         testing::Values(HeadCopyCase{0, 0}, HeadCopyCase{124, 0}, HeadCopyCase{620, 620},
                                         HeadCopyCase{744, 0}, HeadCopyCase{65288, 0}));

TEST_F(PacketAssembly, OffsetsAboveTheLastRecordAreClampedTo65288)
{
    Send({.offset = 0xFFFF, .fill = 0x70});
    EXPECT_EQ(g_FillOffsetA, MAX_RECORD_OFFSET);
    EXPECT_TRUE(HoldsRecord(g_FrameBufA, MAX_RECORD_OFFSET, 0x70));
    EXPECT_TRUE(IsZero(g_FrameBufA, 0, MAX_RECORD_OFFSET));
}

struct MarkerCase {
    uint8_t marker;
    bool recordWritten;
};

class Marker : public PacketAssembly, public testing::WithParamInterface<MarkerCase> {};

TEST_P(Marker, OnlyBAandBBCarryARecord)
{
    const MarkerCase c = GetParam();
    // Continuation pair: a pair without a record still moves the fill offset, to 65288.
    Send({.marker = c.marker, .offset = 372, .fill = 0x12});
    EXPECT_EQ(HoldsRecord(g_FrameBufA, 372, 0x12), c.recordWritten);
    EXPECT_EQ(g_FillOffsetA, c.recordWritten ? 372u : MAX_RECORD_OFFSET);
    if (!c.recordWritten) {
        EXPECT_TRUE(IsZero(g_FrameBufA, 0, CAPTURE_BUFFER_SIZE));
    }

    // Start-of-frame pair: switches, copies and completes the frame either way.
    const Outcome out = Send({.flags = 0x80, .marker = c.marker, .offset = 124, .fill = 0x34});
    EXPECT_TRUE(out.frameComplete);
    EXPECT_EQ(g_FillingB, 1u);
    EXPECT_EQ(HoldsRecord(g_FrameBufB, 124, 0x34), c.recordWritten);
    EXPECT_EQ(HoldsRecord(g_FrameBufA, UPPER_HALF_OFFSET + 372, 0x12), c.recordWritten);
}

INSTANTIATE_TEST_SUITE_P(Markers, Marker,
                         testing::Values(MarkerCase{0xBA, true}, MarkerCase{0xBB, true}, MarkerCase{0x00, false},
                                         MarkerCase{0xBC, false}, MarkerCase{0xFF, false}));

struct FlagsCase {
    uint8_t flags;
    USBD_STATUS syncStatus;
    USBD_STATUS dataStatus;
    bool startsFrame;
    bool recordWritten;
    uint32_t faults;
};

class Flags : public PacketAssembly, public testing::WithParamInterface<FlagsCase> {};

TEST_P(Flags, StartIgnoreOrContinue)
{
    const FlagsCase c = GetParam();
    const Outcome out = Send({.flags = c.flags, .offset = 496, .fill = 0x22, .syncStatus = c.syncStatus,
                              .dataStatus = c.dataStatus});
    EXPECT_EQ(out.frameComplete, c.startsFrame);
    EXPECT_EQ(g_FillingB, c.startsFrame ? 1u : 0u);
    const CaptureBuffer* fill = c.startsFrame ? g_FrameBufB : g_FrameBufA;
    EXPECT_EQ(HoldsRecord(fill, 496, 0x22), c.recordWritten);
    EXPECT_EQ(device.context()->badPacketCount, c.faults);
    const bool ignored = !c.startsFrame && !c.recordWritten;
    EXPECT_EQ(out.result, ignored ? 0u : 1023u) << "a status fault does not change the kept byte count";
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Flags,
    testing::Values(
        FlagsCase{0x80, 0, 0, true, true, 0},       // start of frame
        FlagsCase{0x81, 0, 0, true, true, 0},       // bit 7 wins over the ignore bits
        FlagsCase{0x01, 0, 0, false, false, 0},     // ignored
        FlagsCase{0x02, 0, 0, false, false, 0},     // ignored
        FlagsCase{0x03, 0, kError, false, false, 1},  // ignored, yet a data error counts
        FlagsCase{0x03, kError, 0, false, true, 1},   // a faulty sync packet continues the frame
        FlagsCase{0x80, kError, 0, false, true, 1},   // a faulty sync packet never starts a frame
        FlagsCase{0x00, kError, kError, false, true, 1},  // both faulty: one count
        FlagsCase{0x7C, 0, 0, false, true, 0}));    // bits 2..6 are not examined

TEST_F(PacketAssembly, DataPacketLengthDecidesTheResultAndCountsFaults)
{
    struct Case {
        uint32_t length;
        USBD_STATUS status;
        ULONG result;
        uint32_t faults;
    };
    for (const Case c : {Case{1023, 0, 1023, 0}, Case{1022, 0, 0, 1}, Case{1024, 0, 0, 1}, Case{0, 0, 0, 1},
                         Case{512, kError, 0, 2}, Case{1023, kError, 1023, 1}}) {
        device.context()->badPacketCount = 0;
        const Outcome out = Send({.offset = 0, .fill = 0x44, .dataLength = c.length, .dataStatus = c.status});
        EXPECT_EQ(out.result, c.result) << "length " << c.length;
        EXPECT_EQ(device.context()->badPacketCount, c.faults) << "length " << c.length;
        // The record is copied whatever the Length: the packet area always holds 64 bytes.
        EXPECT_TRUE(HoldsRecord(g_FrameBufA, 0, 0x44)) << "length " << c.length;
    }
}

TEST_F(PacketAssembly, OffsetRuleAdmitsTheFirst32PacketsOfATransfer)
{
    for (uint32_t index : {0u, 1u, 30u, 31u, 32u, 33u}) {
        const uint32_t offset = 124 * (index + 1);
        const Outcome out = Send({.offset = offset, .fill = static_cast<uint8_t>(index + 1), .packetIndex = index,
                                  .dataLength = 1023});
        EXPECT_EQ(HoldsRecord(g_FrameBufA, offset, static_cast<uint8_t>(index + 1)), index <= 31)
            << "packet " << index;
        EXPECT_EQ(out.result, 1023u) << "the data packet is judged either way";
    }
}

TEST_F(PacketAssembly, FinishedFrameIsJudgedByTheFaultsCollectedBeforeIt)
{
    DeviceContext* context = device.context();
    Send({.flags = 0x80});
    EXPECT_EQ(context->frameGood, 1);

    Send({.offset = 124, .dataLength = 10});  // one fault in this frame
    EXPECT_EQ(context->badPacketCount, 1u);
    Send({.flags = 0x80});
    EXPECT_EQ(context->frameGood, 0) << "the frame with a faulty packet is not good";
    EXPECT_EQ(context->badPacketCount, 0u);

    // A fault in the start-of-frame pair itself counts toward the new frame.
    Send({.flags = 0x80, .dataLength = 0});
    EXPECT_EQ(context->frameGood, 1);
    EXPECT_EQ(context->badPacketCount, 1u);
    Send({.flags = 0x80});
    EXPECT_EQ(context->frameGood, 0);
}

TEST_F(PacketAssembly, PairsAreDroppedUntouchedWhileABufferIsAbsent)
{
    FreeCaptureBuffers();
    const Outcome out = Send({.flags = 0x80, .offset = 0, .dataLength = 5, .dataStatus = kError});
    EXPECT_EQ(out.result, 0u);
    EXPECT_FALSE(out.frameComplete);
    EXPECT_FALSE(out.nextFrameIsStill);
    EXPECT_EQ(g_FillingB, 0u);
    EXPECT_EQ(device.context()->badPacketCount, 0u);

    // A partial allocation leaves A without B: still nothing is written to A.
    host::PoolFailNthAllocation(3);
    EXPECT_EQ(AllocateCaptureBuffers(), STATUS_INSUFFICIENT_RESOURCES);
    ASSERT_NE(g_FrameBufA, nullptr);
    Send({.offset = 0, .fill = 0x55});
    EXPECT_TRUE(IsZero(g_FrameBufA, 0, CAPTURE_BUFFER_SIZE));
}

TEST_F(PacketAssembly, PairsAreDroppedWithoutAnInterfaceDescription)
{
    device.context()->interfaceInfo = nullptr;  // configuration failed: no data pipe to judge against
    const Outcome out = Send({.flags = 0x80, .offset = 0});
    EXPECT_EQ(out.result, 0u);
    EXPECT_FALSE(out.frameComplete);
    EXPECT_EQ(g_FillingB, 0u);
    EXPECT_TRUE(IsZero(g_FrameBufA, 0, CAPTURE_BUFFER_SIZE));
}

TEST_F(PacketAssembly, ReallocatedBuffersAreZeroedButKeepTheFillState)
{
    Send({.flags = 0x80, .offset = 248});
    FreeCaptureBuffers();
    ASSERT_EQ(AllocateCaptureBuffers(), STATUS_SUCCESS);
    EXPECT_EQ(g_FillingB, 1u);
    EXPECT_EQ(g_FillOffsetB, 248u);
    EXPECT_TRUE(IsZero(g_FrameBufB, 0, CAPTURE_BUFFER_SIZE));
}

}  // namespace
