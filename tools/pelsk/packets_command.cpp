// pelsk packets: the packet path on its own. The emulated camera compresses its
// test pattern, cuts it into packet pairs and the class library hands them to the
// driver's packet callback; each finished frame is compared with what was sent.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture_buffers.h"
#include "decoder/decoder_errors.h"
#include "capture/packet_assembly.h"
#include "driver/device_context.h"
#include "host/camera_encoder.h"
#include "host/camera_packetizer.h"
#include "host/driver_image.h"
#include "host/usbcamd_transfer.h"
#include "tools/pelsk/commands.h"
#include "tools/pelsk/frame_decoding.h"
#include "tools/pelsk/image_files.h"

namespace {

struct Options {
    int frames = 5;
    int width = 320, height = 240;
    int quality = 75;
    double faultRate = 0;
    uint32_t seed = 1;
    std::string png;  // where to write the last frame delivered, if anywhere
};

void PrintHelp(std::FILE* out)
{
    std::fprintf(out,
                 "usage: pelsk packets [--frames N] [--size WxH] [--quality Q] [--faults RATE] [--seed S]\n"
                 "                     [--png OUT.png]\n\n"
                 "Streams N pictures of the emulated camera's test pattern through packet assembly\n"
                 "and reports, per frame, what the driver reassembled, how it judged the frame and\n"
                 "what the decoder made of a frame judged good (decoded from the upper half, as the\n"
                 "driver does).\n"
                 "  --frames N     pictures to send (default 5)\n"
                 "  --size WxH     picture size (default 320x240)\n"
                 "  --quality Q    starting JPEG quality; lowered until a picture fits (default 75)\n"
                 "  --faults RATE  chance per pair of each kind of packet fault, 0 to 1 (default 0)\n"
                 "  --seed S       seed of the fault injection (default 1)\n"
                 "  --png OUT.png  write the last frame delivered as a PNG picture\n");
}

bool ParseInt(const char* text, int low, int high, int& value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

// Returns 0 when parsed, otherwise the exit status to use.
int ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return -1;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "pelsk packets: '%s' needs a value (try --help)\n", arg.c_str());
            return 2;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (arg == "--frames") {
            ok = ParseInt(value, 1, 100000, options.frames);
        } else if (arg == "--quality") {
            ok = ParseInt(value, 5, 100, options.quality);
        } else if (arg == "--seed") {
            int seed = 0;
            ok = ParseInt(value, 0, 1 << 30, seed);
            options.seed = static_cast<uint32_t>(seed);
        } else if (arg == "--faults") {
            char* end = nullptr;
            options.faultRate = std::strtod(value, &end);
            ok = end != value && *end == '\0' && options.faultRate >= 0 && options.faultRate <= 1;
        } else if (arg == "--png") {
            options.png = value;
        } else if (arg == "--size") {
            ok = std::sscanf(value, "%dx%d", &options.width, &options.height) == 2 && options.width > 0 &&
                 options.width <= 8192 && options.height > 0 && options.height <= 8192;
        } else {
            std::fprintf(stderr, "pelsk packets: unknown option '%s' (try --help)\n", arg.c_str());
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "pelsk packets: bad value '%s' for %s\n", value, arg.c_str());
            return 2;
        }
    }
    return 0;
}

// Where the decoder would find the picture: the first record boundary holding FF D8 FF.
int FindSoiRecord(const uint8_t* upper)
{
    for (int k = 0; k < 200; ++k) {
        const uint8_t* p = upper + k * SIDE_RECORD_SIZE;
        if (p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
            return k;
    }
    return -1;
}

}  // namespace

int RunPacketsCommand(int argc, char** argv)
{
    Options options;
    if (const int status = ParseOptions(argc, argv, options))
        return status < 0 ? 0 : status;

    host::ReloadDriverImage();
    if (AllocateCaptureBuffers() != STATUS_SUCCESS) {
        std::fprintf(stderr, "pelsk packets: the capture buffers could not be allocated\n");
        return 1;
    }
    constexpr uint16_t kDataMaxPacket = 1023;
    std::vector<uint8_t> interfaceBytes(UsbdInterfaceInformationSize(2), 0);
    auto* info = reinterpret_cast<USBD_INTERFACE_INFORMATION*>(interfaceBytes.data());
    info->Length = static_cast<USHORT>(interfaceBytes.size());
    info->NumberOfPipes = 2;
    info->Pipes[0].MaximumPacketSize = host::kSyncPacketStride;
    info->Pipes[1].MaximumPacketSize = kDataMaxPacket;
    DeviceContext device{};
    device.interfaceInfo = info;
    device.frameGood = 1;

    std::printf("pelsk packets: %d frame(s) of %dx%d, fault rate %g per pair, seed %u\n", options.frames,
                options.width, options.height, options.faultRate, options.seed);
    int good = 0, intact = 0, judgedRight = 0, decoded = 0;
    Decoded lastDelivered;
    int lastDeliveredFrame = -1;
    uint64_t totalPairs = 0, totalBytes = 0;
    std::vector<uint8_t> previous;
    host::PacketizerStats previousStats;
    for (int frame = 0; frame <= options.frames; ++frame) {
        std::vector<host::PacketPair> pairs;
        std::vector<uint8_t> jpeg;
        host::PacketizerStats stats;
        if (frame < options.frames) {
            host::CameraJpegOptions jpegOptions{options.quality, 0};
            std::string error;
            const host::RgbImage image = host::RenderTestPattern(options.width, options.height, frame);
            if (!host::EncodeToFit(image, jpegOptions, host::kMaxPictureBytes, jpeg, &error)) {
                std::fprintf(stderr, "pelsk packets: frame %d: %s\n", frame, error.c_str());
                FreeCaptureBuffers();
                return 1;
            }
            host::PacketizerOptions packetOptions;
            packetOptions.dataMaxPacketSize = kDataMaxPacket;
            packetOptions.marker = frame % 2 ? 0xBB : 0xBA;
            const double r = options.faultRate;
            packetOptions.faults = {options.seed + static_cast<uint32_t>(frame), r, r, r, r, r, r, r, r};
            host::PacketizePicture(jpeg, packetOptions, pairs, &stats, &error);
        } else {
            pairs.push_back(host::StartOfFramePair(kDataMaxPacket));  // finishes the last picture
        }
        host::DeliverPacketPairs(CamProcessUSBPacket, &device, pairs, kDataMaxPacket);

        if (frame > 0) {
            // The start of this frame finished the previous one.
            const CaptureBuffer* finished = g_FillingA != 0 ? g_FrameBufB : g_FrameBufA;
            const uint8_t* upper = finished->bytes + UPPER_HALF_OFFSET;
            const bool same = std::equal(previous.begin(), previous.end(), upper);
            const int soi = FindSoiRecord(upper);
            good += device.frameGood;
            intact += same;
            judgedRight += (device.frameGood != 0) == same;
            std::string outcome = "dropped";
            if (device.frameGood != 0 && soi < 0) {
                outcome = "no start of image";
            } else if (device.frameGood != 0) {
                Decoded picture = DecodeLikeTheDriver(upper, UPPER_HALF_SIZE, false);
                if (picture.ok) {
                    outcome = "decoded " + std::to_string(picture.width) + "x" + std::to_string(picture.height);
                    ++decoded;
                    lastDelivered = std::move(picture);
                    lastDeliveredFrame = frame - 1;
                } else {
                    outcome = std::string("decode failed: ") + DecoderErrorName(picture.error);
                }
            }
            std::printf("frame %3d: %6zu bytes in %4u pairs, %3u faults injected; judged %s; upper half %s; %s\n",
                        frame - 1, previous.size(), previousStats.pairs, previousStats.Faults(),
                        device.frameGood ? "good" : "bad ", same ? "matches the picture" : "differs",
                        outcome.c_str());
            totalPairs += previousStats.pairs;
            totalBytes += previous.size();
        }
        previous = jpeg;
        previousStats = stats;
    }
    FreeCaptureBuffers();
    std::printf("summary: %d frame(s), %llu bytes in %llu pairs; %d judged good, %d reassembled intact, "
                "%d judged as their content warrants, %d decoded\n",
                options.frames, static_cast<unsigned long long>(totalBytes),
                static_cast<unsigned long long>(totalPairs), good, intact, judgedRight, decoded);
    if (!options.png.empty()) {
        if (lastDeliveredFrame < 0) {
            std::fprintf(stderr, "pelsk packets: no frame was delivered, so %s was not written\n", options.png.c_str());
            return 1;
        }
        std::string error;
        if (!WritePngFile(options.png, lastDelivered.width, lastDelivered.height,
                          Bgr24ToRgbTopDown(lastDelivered.frame, lastDelivered.width, lastDelivered.height), error)) {
            std::fprintf(stderr, "pelsk packets: %s\n", error.c_str());
            return 1;
        }
        std::printf("wrote %s: frame %d as the driver decoded it\n", options.png.c_str(), lastDeliveredFrame);
    }
    return 0;
}
