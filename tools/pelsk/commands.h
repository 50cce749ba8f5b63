// The subcommands of the pelsk tool. Each takes the arguments after its name
// and returns the process exit status.
#pragma once

struct PelskCommand {
    const char* name;
    const char* summary;
    int (*run)(int argc, char** argv);
};

int RunPacketsCommand(int argc, char** argv);
int RunDecodeCommand(int argc, char** argv);
