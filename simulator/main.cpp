// SPDX-License-Identifier: MIT
#include "simulator/device.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    for (const auto& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(kestran::simulator::usage().c_str(), stdout);
            return 0;
        }
        if (argument == "--version") {
            std::puts("kestran-device " KESTRAN_VERSION);
            return 0;
        }
    }
    kestran::simulator::Options options;
    if (const auto error = kestran::simulator::parseOptions(arguments, options)) {
        std::fprintf(stderr, "kestran-device: %s\nTry 'kestran-device --help'.\n", error->c_str());
        return 2;
    }
    return kestran::simulator::serve(options);
}
