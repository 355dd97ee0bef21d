// A program for the command runner's tests: writes every argument after the
// first (the file to write to), one per line, as UTF-8.
#include <filesystem>
#include <fstream>

#include "program.h"

int main(int argc, char** argv) {
    const auto args = vantrel::platform::ProgramArgs(argc, argv);
    if (args.size() < 2) return 2;
    std::ofstream out(std::filesystem::u8path(args[1]), std::ios::binary);
    for (size_t i = 2; i < args.size(); ++i) out << args[i] << '\n';
    out.close();
    return out ? 0 : 1;
}
