// Kickoff's command line and the JRE's registry keys: the fuzzer's octets
// become the arguments and the registry values that the launcher reads, in a
// registry held in memory.
//
// Input: one control octet, then fields separated by line feeds. The
// control octet's low nibble (mod 10) is the argument count and those many
// fields are the arguments; the next fields are a version key name, the
// "MicroVersion" and the "JavaHome" values. Bit 4 files the values under the
// version the arguments ask for instead of under the key name; bits 5 and 6
// leave out "MicroVersion" and "JavaHome".
#include "Arguments.h"
#include "FakeRegistry.h"
#include "JreCheck.h"
#include "Launcher.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Records nothing and starts nothing.
class QuietPlatform final : public kickoff::LauncherPlatform {
public:
    kickoff_test::FakeRegistry registry;

    const kickoff::RegistryKey& localMachine() const override { return registry.localMachine; }
    const kickoff::RegistryKey* otherLocalMachineView() const override { return nullptr; }
    void writeOutput(const std::string&) override {}
    void showError(const std::string&, const std::string&) override {}
    bool startWindowed(const std::string&) override { return true; }
    int runInConsole(const std::string&) override { return 0; }
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find('\n', start);
        fields.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return fields;
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    std::vector<std::string> fields =
        splitLines(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    const std::size_t count = (control & 0x0F) % 10;
    fields.resize(count + 3);
    const std::vector<std::string> args(fields.begin(), fields.begin() + count);

    std::string version = fields[count];
    kickoff::LaunchRequest request;
    if ((control & 0x10) && kickoff::parseArguments(args, request) == kickoff::ArgumentStatus::Ok)
        version = kickoff::versionKeyName(request.vNum, request.v2Num);

    QuietPlatform platform;
    kickoff_test::FakeNode& jre = platform.registry.jre(version);
    if (!(control & 0x20))
        jre.values["MicroVersion"] = fields[count + 1];
    if (!(control & 0x40))
        jre.values["JavaHome"] = fields[count + 2];
    kickoff::runLauncher(args, platform);
    return 0;
}
