// A Windows stand-in for the JRE's java.exe: shows the command line it got,
// can wait and leave a marker file, and exits with a chosen code.
// Options among its arguments: -Dexit=N, -Dsleep=MILLISECONDS, -Dmarker=PATH.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The text after `prefix` when `arg` begins with it, else null.
const char* option(const char* arg, const char* prefix)
{
    const std::size_t length = std::strlen(prefix);
    return std::strncmp(arg, prefix, length) == 0 ? arg + length : nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    std::printf("STANDIN CMDLINE[%s]\n", GetCommandLineA());
    int exitCode = 0;
    DWORD sleepMs = 0;
    const char* marker = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::printf("STANDIN ARG%d[%s]\n", i, argv[i]);
        if (const char* value = option(argv[i], "-Dexit="))
            exitCode = std::atoi(value);
        else if (const char* value = option(argv[i], "-Dsleep="))
            sleepMs = static_cast<DWORD>(std::atoi(value));
        else if (const char* value = option(argv[i], "-Dmarker="))
            marker = value;
    }
    std::fflush(stdout);
    Sleep(sleepMs);
    if (marker) {
        if (std::FILE* file = std::fopen(marker, "w"))
            std::fclose(file);
    }
    std::printf("STANDIN END\n");
    return exitCode;
}
