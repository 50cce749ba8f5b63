// Seed corpus files shared by the fuzz targets. Setting PELSK_FUZZ_WRITE_SEEDS=DIR
// (and PELSK_FUZZ_SEED_PICTURES=a.jpg:b.jpg) makes a target write its seeds and exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fuzzseeds {

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "fuzz: cannot write seed %s\n", path.c_str());
        std::abort();
    }
}

// Runs writeSeeds(dir, pictures) and exits when seeds were asked for.
inline void WriteSeedsIfAsked(void (*writeSeeds)(const std::string& dir, const std::string& pictures))
{
    const char* dir = std::getenv("PELSK_FUZZ_WRITE_SEEDS");
    if (dir == nullptr)
        return;
    const char* pictures = std::getenv("PELSK_FUZZ_SEED_PICTURES");
    writeSeeds(dir, pictures != nullptr ? pictures : "");
    std::exit(0);
}

}  // namespace fuzzseeds
