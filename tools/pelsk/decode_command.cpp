// pelsk decode: one JPEG file through the driver's decoder, the way the raw-frame
// callback runs it (MemorySourceInit, DecoderStart, a decode entry, DecoderFreeAll),
// written as PPM, PNG or the exact frame buffer the driver would deliver.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/decoder_errors.h"
#include "tools/pelsk/commands.h"
#include "tools/pelsk/frame_decoding.h"
#include "tools/pelsk/image_files.h"

namespace {

enum class OutputKind { Ppm, Png, RawBgr24, RawUyvy };

struct Options {
    std::string input;
    std::string output;
    std::string raw;  // "", "bgr24" or "uyvy"
};

void PrintHelp(std::FILE* out)
{
    std::fprintf(out,
                 "usage: pelsk decode IN.jpg -o OUT.ppm|OUT.png\n"
                 "       pelsk decode IN.jpg --raw bgr24|uyvy -o OUT.raw\n\n"
                 "Decodes one JPEG picture with the driver's own decoder.\n"
                 "  -o, --output FILE  where to write; .ppm is binary PPM (P6), .png is PNG,\n"
                 "                     both RGB with the top row first\n"
                 "  --raw bgr24        write the frame buffer the driver delivers for RGB24:\n"
                 "                     blue, green, red per pixel, bottom row first, width x 3 per line\n"
                 "  --raw uyvy         write the UYVY frame buffer: Cb, Y, Cr, Y per pixel pair,\n"
                 "                     top row first, width x 2 per line\n"
                 "A picture the decoder refuses exits 1, names the cause and writes no file.\n");
}

bool EndsWith(const std::string& text, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[text.size() - n + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// 0 when parsed; -1 after --help; otherwise the exit status.
int ParseOptions(int argc, char** argv, Options& options, OutputKind& kind)
{
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return -1;
        }
        if (arg == "-o" || arg == "--output" || arg == "--raw") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "pelsk decode: '%s' needs a value (try --help)\n", arg.c_str());
                return 2;
            }
            (arg == "--raw" ? options.raw : options.output) = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "pelsk decode: unknown option '%s' (try --help)\n", arg.c_str());
            return 2;
        } else if (options.input.empty()) {
            options.input = arg;
        } else {
            std::fprintf(stderr, "pelsk decode: only one input file, got '%s' too (try --help)\n", arg.c_str());
            return 2;
        }
    }
    if (options.input.empty() || options.output.empty()) {
        std::fprintf(stderr, "pelsk decode: needs an input file and -o OUTPUT (try --help)\n");
        return 2;
    }
    if (options.raw == "bgr24") {
        kind = OutputKind::RawBgr24;
    } else if (options.raw == "uyvy") {
        kind = OutputKind::RawUyvy;
    } else if (!options.raw.empty()) {
        std::fprintf(stderr, "pelsk decode: --raw takes bgr24 or uyvy, not '%s'\n", options.raw.c_str());
        return 2;
    } else if (EndsWith(options.output, ".ppm")) {
        kind = OutputKind::Ppm;
    } else if (EndsWith(options.output, ".png")) {
        kind = OutputKind::Png;
    } else {
        std::fprintf(stderr, "pelsk decode: cannot tell the format of '%s': use .ppm, .png or --raw\n",
                     options.output.c_str());
        return 2;
    }
    return 0;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::string("cannot read ") + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = std::string("cannot read ") + path;
        return false;
    }
    return true;
}

std::string LayoutText(const Decoded& decoded)
{
    if (decoded.components == 1)
        return "grey";
    return "YCbCr, luma " + std::to_string(decoded.lumaH) + "x" + std::to_string(decoded.lumaV);
}

const char* KindText(OutputKind kind)
{
    switch (kind) {
    case OutputKind::Ppm: return "PPM";
    case OutputKind::Png: return "PNG";
    case OutputKind::RawBgr24: return "raw BGR24";
    case OutputKind::RawUyvy: return "raw UYVY";
    }
    return "?";
}

}  // namespace

int RunDecodeCommand(int argc, char** argv)
{
    Options options;
    OutputKind kind = OutputKind::Ppm;
    const int parsed = ParseOptions(argc, argv, options, kind);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;

    std::vector<uint8_t> jpeg;
    std::string error;
    if (!ReadWholeFile(options.input, jpeg, error)) {
        std::fprintf(stderr, "pelsk decode: %s\n", error.c_str());
        return 1;
    }
    if (jpeg.empty() || jpeg.size() > 0x7FFFFFFFu) {
        std::fprintf(stderr, "pelsk: decode failed: %s is %s\n", options.input.c_str(),
                     jpeg.empty() ? "empty" : "too large");
        return 1;
    }

    const Decoded decoded = DecodeLikeTheDriver(jpeg.data(), jpeg.size(), kind == OutputKind::RawUyvy);
    if (!decoded.ok) {
        if (decoded.error != 0)
            std::fprintf(stderr, "pelsk: decode failed: %s (%d)\n", DecoderErrorName(decoded.error), decoded.error);
        else
            std::fprintf(stderr, "pelsk: decode failed: DECODE_FAILED (-1): the picture holds no scan\n");
        return 1;
    }

    // Written under a temporary name, so a failed write never leaves a file that looks finished.
    const std::string temporary = options.output + ".tmp-" + std::to_string(getpid());
    bool written = false;
    switch (kind) {
    case OutputKind::Ppm:
        written = WritePpmFile(temporary, decoded.width, decoded.height,
                               Bgr24ToRgbTopDown(decoded.frame, decoded.width, decoded.height), error);
        break;
    case OutputKind::Png:
        written = WritePngFile(temporary, decoded.width, decoded.height,
                               Bgr24ToRgbTopDown(decoded.frame, decoded.width, decoded.height), error);
        break;
    case OutputKind::RawBgr24:
    case OutputKind::RawUyvy:
        written = WriteRawFile(temporary, decoded.frame.data(), decoded.frame.size(), error);
        break;
    }
    if (written && std::rename(temporary.c_str(), options.output.c_str()) != 0) {
        error = options.output + ": " + std::strerror(errno);
        written = false;
    }
    if (!written) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "pelsk decode: cannot write %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %dx%d, %s; wrote %s (%s)\n", options.input.c_str(), decoded.width, decoded.height,
                LayoutText(decoded).c_str(), options.output.c_str(), KindText(kind));
    return 0;
}
