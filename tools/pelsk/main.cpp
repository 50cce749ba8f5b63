// pelsk: the camera driver and its decoder, run on Linux against an emulated camera.
#include <cstdio>
#include <cstring>

#include "tools/pelsk/commands.h"

namespace {

const PelskCommand kCommands[] = {
    {"packets", "stream emulated pictures through packet assembly and show what was reassembled",
     RunPacketsCommand},
    {"decode", "decode a JPEG file with the driver's decoder to PPM, PNG or the raw frame buffer", RunDecodeCommand},
};

void PrintUsage(std::FILE* out)
{
    std::fprintf(out, "pelsk %s: JPEG camera minidriver on an emulated platform\n\n", PELSK_VERSION);
    std::fprintf(out, "usage: pelsk COMMAND [ARGS...]\n\ncommands:\n");
    for (const PelskCommand& command : kCommands)
        std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
    std::fprintf(out, "  %-10s %s\n", "version", "print the version");
    std::fprintf(out, "\n'pelsk COMMAND --help' describes a command.\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "version") == 0 || std::strcmp(argv[1], "--version") == 0) {
        std::printf("pelsk %s\n", PELSK_VERSION);
        return 0;
    }
    for (const PelskCommand& command : kCommands)
        if (std::strcmp(argv[1], command.name) == 0)
            return command.run(argc - 2, argv + 2);
    std::fprintf(stderr, "pelsk: unknown command '%s' (try 'pelsk --help')\n", argv[1]);
    return 2;
}
