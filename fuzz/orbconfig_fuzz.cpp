// The ORB configuration file: the text parsed directly and the same octets
// read back from a file, which must give the same entries (no carriage
// returns are dropped here, so the two reads see the same text).
#include <OB/ORBConfig.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// A file of this process for the file reader, in memory where there is a
// tmpfs (rewriting a file on disk costs milliseconds); removed at exit.
struct ScratchFile {
    std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                       "/orbconfig_fuzz." + std::to_string(getpid());
    ~ScratchFile() { std::remove(path.c_str()); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile scratch;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const OBConfigEntries parsed = OBParseConfig(text);

    FILE* f = std::fopen(scratch.path.c_str(), "wb");
    if (!f)
        std::abort();
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written)
        std::abort();
    OBConfigEntries read;
    if (!OBReadConfigFile(scratch.path.c_str(), read) || read != parsed)
        std::abort();
    return 0;
}
