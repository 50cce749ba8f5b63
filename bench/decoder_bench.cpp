// Decoding speed on the camera's own pictures: photographs in the camera's layout
// at 320x240 and 640x480, qualities 50 to 95, and one with a restart interval per
// MCU row. Reported per frame and as megapixels per second. The q75 pictures are
// also decoded with the plain reference kernels, to show what the fast ones gain.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/kernels.h"

namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

enum class Format { Bgr24, Uyvy };

void DecodeFrame(benchmark::State& state, std::vector<uint8_t> jpeg, Format format, const DecoderKernels* kernels)
{
    g_DecoderKernels = *kernels;
    int32_t width = 0, height = 0;
    std::vector<uint8_t> frame(640 * 480 * 3);
    for (auto _ : state) {
        MemorySourceInit(&g_Decoder.memorySource, jpeg.data(), static_cast<int32_t>(jpeg.size()));
        DecoderStart(&g_Decoder.memorySource);
        const int32_t failed = format == Format::Bgr24
                                   ? DecodeFrameToBgr24(&width, &height, frame.data(), static_cast<uint32_t>(frame.size()))
                                   : DecodeFrameToUyvy(&width, &height, frame.data(), static_cast<uint32_t>(frame.size()));
        DecoderFreeAll();
        if (failed) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(frame.data());
    }
    g_DecoderKernels = FAST_KERNELS;
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(width) * height * state.iterations() / 1e6,
                                                    benchmark::Counter::kIsRate);
    state.counters["bytes"] = static_cast<double>(jpeg.size());
}

// Registers one benchmark per picture and output format.
int RegisterFrames()
{
    const std::filesystem::path dir = PELSK_BENCH_FRAMES;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".jpg")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        const std::vector<uint8_t> jpeg = ReadFile(file);
        const std::string name = file.stem().string();
        benchmark::RegisterBenchmark(("decode_uyvy/" + name).c_str(), DecodeFrame, jpeg, Format::Uyvy, &FAST_KERNELS)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("decode_bgr24/" + name).c_str(), DecodeFrame, jpeg, Format::Bgr24,
                                     &FAST_KERNELS)
            ->Unit(benchmark::kMicrosecond);
        if (name.ends_with("_q75")) {
            benchmark::RegisterBenchmark(("decode_uyvy_reference/" + name).c_str(), DecodeFrame, jpeg, Format::Uyvy,
                                         &REFERENCE_KERNELS)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("decode_bgr24_reference/" + name).c_str(), DecodeFrame, jpeg,
                                         Format::Bgr24, &REFERENCE_KERNELS)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    return 0;
}

const int registered = RegisterFrames();

}  // namespace
