// Streams fuzzed packet pairs into the packet callback the way the class library does,
// with the driver's state carried from pair to pair, and checks every call against a
// model of the capture buffers.
//
// The camera controls the packet bytes, the data Length and the statuses, so those are
// fuzzed. The class library's guarantees are kept: transfers of at most 32 pairs laid out
// as host/usbcamd_transfer.h fixes, sync packets at full length.
//
// Input: one byte choosing the data pipe's MaximumPacketSize, then operations, each
// starting with a tag byte:
//   0x00-0xBF  a pair. Tag bit 0: 124 payload bytes follow (else a pattern is used);
//              tag bit 1: the data Length is MaximumPacketSize (else two bytes give it).
//              Fields: flags, marker code, record offset (2 bytes, big-endian), statuses
//              (bits 0-1 sync, bits 2-3 data), [Length], [payload].
//   0xC0-0xCF  end of transfer: the pairs so far are delivered
//   0xD0-0xDF  the capture buffers are freed (device removal)
//   0xE0-0xEF  the capture buffers are allocated again if they are gone, as the driver does
//   0xF0-0xFF  free, then allocate with allocation 1 + (tag % 3) failing
//
// Setting PELSK_FUZZ_WRITE_SEEDS=DIR writes seed inputs made by the emulated camera's
// packetizer from the pictures named in PELSK_FUZZ_SEED_PICTURES (colon-separated), then exits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture_buffers.h"
#include "capture/packet_assembly.h"
#include "driver/device_context.h"
#include "host/camera_packetizer.h"
#include "host/driver_image.h"
#include "fuzz/seed_files.h"
#include "host/kernel_pool.h"
#include "host/usbcamd_transfer.h"

namespace {

constexpr std::array<uint16_t, 8> kMaxPacketSizes = {1023, 1023, 1023, 1023, 64, 1, 512, 3072};
constexpr std::array<USBD_STATUS, 4> kStatuses = {0, 0x40000000, static_cast<USBD_STATUS>(0xC0000011u),
                                                  static_cast<USBD_STATUS>(0x80000000u)};
constexpr size_t kMaxPendingPairs = 96;
constexpr uint32_t kRecordBytes = SIDE_RECORD_SIZE;

[[noreturn]] void Fail(const char* what, uint64_t a = 0, uint64_t b = 0)
{
    std::fprintf(stderr, "packet_assembly_fuzz: %s (%llu, %llu)\n", what, static_cast<unsigned long long>(a),
                 static_cast<unsigned long long>(b));
    std::abort();
}

// What the capture buffers, fill state and frame judgement should be after each pair.
struct Model {
    std::vector<uint8_t> a = std::vector<uint8_t>(CAPTURE_BUFFER_SIZE, 0);
    std::vector<uint8_t> b = std::vector<uint8_t>(CAPTURE_BUFFER_SIZE, 0);
    bool workPresent = false, aPresent = false, bPresent = false;
    uint32_t fillOffsetA = 0, fillOffsetB = 0, fillingA = 0, fillingB = 0;
    uint32_t badPacketCount = 0;
    uint8_t frameGood = 1;
    bool sawStartOfFrame = false;
};

struct Expected {
    ULONG result = 0;
    bool frameComplete = false;
};

uint32_t Clamp(uint32_t offset) { return offset > MAX_RECORD_OFFSET ? MAX_RECORD_OFFSET : offset; }

void CopyHead(std::vector<uint8_t>& buffer, uint32_t recordOffset)
{
    const uint32_t start = recordOffset == HEAD_COPY_SKIP_OFFSET ? HEAD_COPY_SKIP_OFFSET : 0;
    std::memmove(buffer.data() + UPPER_HALF_OFFSET + start, buffer.data() + start, HEAD_COPY_SIZE - start);
}

void Append(Model& m, const host::PacketPair& pair)
{
    std::vector<uint8_t>& fill = m.fillingB != 0 ? m.b : m.a;
    const uint32_t offset = m.fillingB != 0 ? m.fillOffsetB : m.fillOffsetA;
    std::memcpy(fill.data() + offset, pair.sync.data() + SYNC_HEADER_SIZE, SYNC_PAYLOAD_SIZE);
    // The data packet's area is zero past what arrived.
    uint8_t data[DATA_PAYLOAD_SIZE] = {};
    std::memcpy(data, pair.data.data(), pair.data.size() < DATA_PAYLOAD_SIZE ? pair.data.size() : DATA_PAYLOAD_SIZE);
    std::memcpy(fill.data() + offset + SYNC_PAYLOAD_SIZE, data, DATA_PAYLOAD_SIZE);
}

Expected ApplyPair(Model& m, const host::PacketPair& pair, const USBD_ISO_PACKET_DESCRIPTOR& syncPacket,
                   const USBD_ISO_PACKET_DESCRIPTOR& dataPacket, ULONG maxPacketSize)
{
    Expected e;
    if (!m.aPresent || !m.bPresent)
        return e;
    uint8_t flags = pair.sync[0];
    const uint8_t marker = pair.sync[1];
    const bool validMarker = marker == SYNC_MARKER_A || marker == SYNC_MARKER_B;
    const uint32_t recordOffset = validMarker ? (uint32_t{pair.sync[2]} << 8) | pair.sync[3] : MAX_RECORD_OFFSET;
    if (syncPacket.Status < 0)
        flags = 0;
    const bool recordAllowed = syncPacket.Offset <= 31u * syncPacket.Length &&
                               dataPacket.Offset <= 31u * dataPacket.Length && validMarker;
    const auto judge = [&]() {
        if (dataPacket.Length != 0 && dataPacket.Length == maxPacketSize)
            e.result = maxPacketSize;
        else
            ++m.badPacketCount;
    };
    if ((flags & SYNC_FLAG_START_OF_FRAME) != 0) {
        m.sawStartOfFrame = true;
        if (m.fillingB == 1) {
            m.fillOffsetA = Clamp(recordOffset);
            CopyHead(m.b, recordOffset);
            m.fillingB = 0;
            m.fillingA = 1;
        } else {
            m.fillOffsetB = Clamp(recordOffset);
            CopyHead(m.a, recordOffset);
            m.fillingA = 0;
            m.fillingB = 1;
        }
        if (recordAllowed)
            Append(m, pair);
        e.frameComplete = true;
        m.frameGood = m.badPacketCount == 0 ? 1 : 0;
        m.badPacketCount = 0;
        judge();
    } else if ((flags & SYNC_FLAG_IGNORE_MASK) == 0) {
        (m.fillingB != 0 ? m.fillOffsetB : m.fillOffsetA) = Clamp(recordOffset);
        if (recordAllowed)
            Append(m, pair);
        judge();
    }
    if (syncPacket.Status < 0 || dataPacket.Status < 0)
        ++m.badPacketCount;
    return e;
}

struct Session {
    uint16_t maxPacketSize = 1023;
    std::vector<uint8_t> interfaceBytes;
    DeviceContext device{};
    Model model;
    const std::vector<host::PacketPair>* pending = nullptr;
    size_t next = 0;
};

Session* g_Session = nullptr;

void CheckState(const Session& s)
{
    const Model& m = s.model;
    if (g_FillOffsetA > MAX_RECORD_OFFSET || g_FillOffsetB > MAX_RECORD_OFFSET)
        Fail("fill offset past the last record", g_FillOffsetA, g_FillOffsetB);
    if (m.sawStartOfFrame ? !((g_FillingA == 1 && g_FillingB == 0) || (g_FillingA == 0 && g_FillingB == 1))
                          : (g_FillingA != 0 || g_FillingB != 0))
        Fail("fill flags not complementary", g_FillingA, g_FillingB);
    if (g_FillOffsetA != m.fillOffsetA || g_FillOffsetB != m.fillOffsetB)
        Fail("fill offsets differ from the model", g_FillOffsetA, g_FillOffsetB);
    if (g_FillingA != m.fillingA || g_FillingB != m.fillingB)
        Fail("fill flags differ from the model", g_FillingA, g_FillingB);
    if (s.device.badPacketCount != m.badPacketCount)
        Fail("badPacketCount differs from the model", s.device.badPacketCount, m.badPacketCount);
    if (s.device.frameGood != m.frameGood)
        Fail("frameGood differs from the model", s.device.frameGood, m.frameGood);
    if ((g_WorkBlock != nullptr) != m.workPresent || (g_FrameBufA != nullptr) != m.aPresent ||
        (g_FrameBufB != nullptr) != m.bPresent)
        Fail("capture buffers present differ from the model");
    const std::string violations = host::PoolTakeViolations();
    if (!violations.empty()) {
        std::fprintf(stderr, "%s", violations.c_str());
        Fail("pool rule broken");
    }
}

void CheckBuffers(const Session& s)
{
    if (g_FrameBufA != nullptr && std::memcmp(g_FrameBufA->bytes, s.model.a.data(), CAPTURE_BUFFER_SIZE) != 0)
        Fail("buffer A differs from the model");
    if (g_FrameBufB != nullptr && std::memcmp(g_FrameBufB->bytes, s.model.b.data(), CAPTURE_BUFFER_SIZE) != 0)
        Fail("buffer B differs from the model");
}

ULONG CheckedCallback(PDEVICE_OBJECT busDevice, PVOID deviceContext, PVOID frameContext,
                      USBD_ISO_PACKET_DESCRIPTOR* syncPacket, PVOID syncBuffer, USBD_ISO_PACKET_DESCRIPTOR* dataPacket,
                      PVOID dataBuffer, PBOOLEAN frameIsComplete, PBOOLEAN nextFrameIsStill)
{
    Session& s = *g_Session;
    const host::PacketPair& pair = (*s.pending)[s.next++];
    const Expected expected = ApplyPair(s.model, pair, *syncPacket, *dataPacket, s.maxPacketSize);
    const ULONG result = CamProcessUSBPacket(busDevice, deviceContext, frameContext, syncPacket, syncBuffer,
                                             dataPacket, dataBuffer, frameIsComplete, nextFrameIsStill);
    if (result != 0 && result != s.maxPacketSize)
        Fail("result is neither 0 nor MaximumPacketSize", result, s.maxPacketSize);
    if (result != expected.result)
        Fail("result differs from the model", result, expected.result);
    if ((*frameIsComplete != FALSE) != expected.frameComplete)
        Fail("FrameIsComplete differs from the model", *frameIsComplete, expected.frameComplete);
    if (*nextFrameIsStill != FALSE)
        Fail("NextFrameIsStill set");
    CheckState(s);
    return result;
}

void Deliver(Session& s, std::vector<host::PacketPair>& pairs)
{
    if (pairs.empty())
        return;
    s.pending = &pairs;
    s.next = 0;
    host::DeliverPacketPairs(CheckedCallback, &s.device, pairs, s.maxPacketSize);
    if (s.next != pairs.size())
        Fail("pairs delivered", s.next, pairs.size());
    s.pending = nullptr;
    pairs.clear();
    CheckBuffers(s);
}

void ModelAllocated(Model& m, uint32_t allocationsGranted)
{
    m.workPresent = allocationsGranted >= 1;
    m.aPresent = allocationsGranted >= 2;
    m.bPresent = allocationsGranted >= 3;
    std::memset(m.a.data(), 0, m.a.size());
    std::memset(m.b.data(), 0, m.b.size());
}

void FreeBuffers(Session& s)
{
    CheckBuffers(s);
    FreeCaptureBuffers();
    s.model.workPresent = s.model.aPresent = s.model.bPresent = false;
}

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool Empty() const { return at >= size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
};

host::PacketPair ReadPair(Reader& in, uint8_t tag, uint16_t maxPacketSize, uint32_t serial)
{
    host::PacketPair pair;
    pair.sync.assign(host::kSyncPacketStride - 1, 0xEE);
    pair.sync[0] = in.Byte();
    const uint8_t markerCode = in.Byte();
    pair.sync[1] = markerCode < 0xC0 ? ((markerCode & 1) != 0 ? SYNC_MARKER_B : SYNC_MARKER_A)
                                     : static_cast<uint8_t>((markerCode - 0xC0) * 4);
    pair.sync[2] = in.Byte();
    pair.sync[3] = in.Byte();
    const uint8_t statuses = in.Byte();
    pair.syncStatus = kStatuses[statuses & 3];
    pair.dataStatus = kStatuses[(statuses >> 2) & 3];
    const uint32_t stride = host::DataPacketStride(maxPacketSize);
    uint32_t length = maxPacketSize;
    if ((tag & 2) == 0) {
        const uint32_t high = in.Byte();
        length = ((high << 8) | in.Byte()) % (stride + 1);
    }
    pair.data.assign(length > DATA_PAYLOAD_SIZE ? length : DATA_PAYLOAD_SIZE, 0xDD);
    uint8_t payload[kRecordBytes];
    for (uint32_t k = 0; k < kRecordBytes; ++k)
        payload[k] = (tag & 1) != 0 ? in.Byte() : static_cast<uint8_t>(serial * 131u + k * 7u + 1u);
    std::memcpy(pair.sync.data() + SYNC_HEADER_SIZE, payload, SYNC_PAYLOAD_SIZE);
    std::memcpy(pair.data.data(), payload + SYNC_PAYLOAD_SIZE, DATA_PAYLOAD_SIZE);
    pair.data.resize(length);
    return pair;
}

// The encoding ReadPair undoes, for pairs the packetizer made.
void EncodePair(std::vector<uint8_t>& out, const host::PacketPair& pair, uint16_t maxPacketSize)
{
    const bool fullLength = pair.data.size() == maxPacketSize;
    out.push_back(static_cast<uint8_t>(0x01 | (fullLength ? 0x02 : 0)));
    out.push_back(pair.sync[0]);
    const uint8_t marker = pair.sync[1];
    out.push_back(marker == SYNC_MARKER_A ? 0x00 : marker == SYNC_MARKER_B ? 0x01 : static_cast<uint8_t>(0xC0 + marker / 4));
    out.push_back(pair.sync[2]);
    out.push_back(pair.sync[3]);
    const auto statusCode = [](USBD_STATUS status) {
        for (uint8_t i = 0; i < kStatuses.size(); ++i)
            if (kStatuses[i] == status)
                return i;
        return uint8_t{2};
    };
    out.push_back(static_cast<uint8_t>(statusCode(pair.syncStatus) | (statusCode(pair.dataStatus) << 2)));
    if (!fullLength) {
        out.push_back(static_cast<uint8_t>(pair.data.size() >> 8));
        out.push_back(static_cast<uint8_t>(pair.data.size()));
    }
    out.insert(out.end(), pair.sync.begin() + SYNC_HEADER_SIZE, pair.sync.begin() + SYNC_HEADER_SIZE + SYNC_PAYLOAD_SIZE);
    for (uint32_t k = 0; k < DATA_PAYLOAD_SIZE; ++k)
        out.push_back(k < pair.data.size() ? pair.data[k] : 0);
}

void RunInput(const uint8_t* data, size_t size)
{
    Session s;
    g_Session = &s;
    Reader in{data, size};
    s.maxPacketSize = kMaxPacketSizes[in.Byte() % kMaxPacketSizes.size()];

    host::ReloadDriverImage();
    s.interfaceBytes.assign(UsbdInterfaceInformationSize(2), 0);
    auto* info = reinterpret_cast<USBD_INTERFACE_INFORMATION*>(s.interfaceBytes.data());
    info->Length = static_cast<USHORT>(s.interfaceBytes.size());
    info->NumberOfPipes = 2;
    info->Pipes[0].MaximumPacketSize = host::kSyncPacketStride;
    info->Pipes[0].PipeType = UsbdPipeTypeIsochronous;
    info->Pipes[0].MaximumTransferSize = host::kSyncTransferSize;
    info->Pipes[1].MaximumPacketSize = s.maxPacketSize;
    info->Pipes[1].PipeType = UsbdPipeTypeIsochronous;
    info->Pipes[1].MaximumTransferSize = host::kDataTransferSize;
    s.device.signature = DEVICE_CONTEXT_SIGNATURE;
    s.device.interfaceInfo = info;
    s.device.frameGood = 1;
    if (AllocateCaptureBuffers() != STATUS_SUCCESS)
        Fail("capture buffers not allocated");
    ModelAllocated(s.model, 3);
    CheckState(s);

    std::vector<host::PacketPair> pending;
    uint32_t serial = 0;
    while (!in.Empty()) {
        const uint8_t tag = in.Byte();
        if (tag < 0xC0) {
            pending.push_back(ReadPair(in, tag, s.maxPacketSize, serial++));
            if (pending.size() >= kMaxPendingPairs)
                Deliver(s, pending);
            continue;
        }
        Deliver(s, pending);
        switch (tag >> 4) {
        case 0xC:
            break;
        case 0xD:
            FreeBuffers(s);
            break;
        case 0xE:
            if (g_WorkBlock == nullptr) {
                if (AllocateCaptureBuffers() != STATUS_SUCCESS)
                    Fail("capture buffers not allocated");
                ModelAllocated(s.model, 3);
            }
            break;
        default: {
            FreeBuffers(s);
            const uint32_t failing = 1 + (tag & 0x0F) % 3;
            host::PoolFailNthAllocation(failing);
            if (AllocateCaptureBuffers() == STATUS_SUCCESS)
                Fail("allocation reported success despite a failed block", failing);
            host::PoolClearFaults();
            ModelAllocated(s.model, failing - 1);
            break;
        }
        }
        CheckState(s);
    }
    Deliver(s, pending);
    CheckState(s);
    CheckBuffers(s);

    host::ReloadDriverImage();
    g_Session = nullptr;
    const std::string violations = host::PoolTakeViolations();
    if (!violations.empty()) {
        std::fprintf(stderr, "%s", violations.c_str());
        Fail("pool rule broken");
    }
    if (host::PoolGetCounts().outstandingBlocks != 0) {
        host::PoolReportOutstanding(stderr);
        Fail("pool blocks left after the buffers were freed");
    }
}


// Each picture is sent once cleanly and once with faults, then finished by a start of
// frame; a last seed frees and reallocates the buffers in the middle of a frame.
void WriteSeeds(const std::string& dir, const std::string& pictures)
{
    struct Variant {
        const char* name;
        uint8_t sizeIndex;
        uint8_t marker;
        bool faults;
    };
    const Variant variants[] = {{"clean", 0, SYNC_MARKER_A, false}, {"faults", 0, SYNC_MARKER_B, true},
                                {"mps64", 4, SYNC_MARKER_A, false}};
    size_t start = 0;
    int number = 0;
    while (start < pictures.size()) {
        size_t end = pictures.find(':', start);
        if (end == std::string::npos)
            end = pictures.size();
        const std::string path = pictures.substr(start, end - start);
        start = end + 1;
        std::vector<uint8_t> picture = fuzzseeds::ReadFile(path);
        if (picture.size() > host::kMaxPictureBytes)
            picture.resize(host::kMaxPictureBytes);
        for (const Variant& v : variants) {
            host::PacketizerOptions options;
            options.dataMaxPacketSize = kMaxPacketSizes[v.sizeIndex];
            options.marker = v.marker;
            if (v.faults) {
                options.faults.seed = 7;
                options.faults.syncErrorRate = 0.01;
                options.faults.dataErrorRate = 0.01;
                options.faults.shortDataRate = 0.02;
                options.faults.emptyDataRate = 0.01;
                options.faults.lostPairRate = 0.01;
                options.faults.missingMarkerRate = 0.01;
                options.faults.wrongMarkerRate = 0.01;
                options.faults.corruptByteRate = 0.02;
            }
            std::vector<host::PacketPair> pairs;
            std::string error;
            if (!host::PacketizePicture(picture, options, pairs, nullptr, &error))
                Fail(error.c_str());
            pairs.push_back(host::StartOfFramePair(options.dataMaxPacketSize, v.marker));
            std::vector<uint8_t> input{v.sizeIndex};
            for (size_t i = 0; i < pairs.size(); ++i) {
                EncodePair(input, pairs[i], options.dataMaxPacketSize);
                // Mid-frame removal and reallocation in one seed.
                if (v.faults && i == pairs.size() / 2) {
                    input.push_back(0xD0);
                    input.push_back(0xE0);
                }
            }
            fuzzseeds::WriteFile(dir + "/packetizer_" + std::to_string(number) + "_" + v.name, input);
        }
        ++number;
    }
    // A partial allocation, pairs while a buffer is missing, then recovery.
    std::vector<host::PacketPair> pairs;
    host::PacketizePicture(std::vector<uint8_t>(600, 0x42), host::PacketizerOptions{}, pairs, nullptr, nullptr);
    std::vector<uint8_t> input{0};
    input.push_back(0xF1);
    for (const auto& pair : pairs)
        EncodePair(input, pair, 1023);
    input.push_back(0xD0);
    input.push_back(0xE0);
    for (const auto& pair : pairs)
        EncodePair(input, pair, 1023);
    EncodePair(input, host::StartOfFramePair(1023), 1023);
    fuzzseeds::WriteFile(dir + "/allocation_events", input);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzseeds::WriteSeedsIfAsked(WriteSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    RunInput(data, size);
    return 0;
}
