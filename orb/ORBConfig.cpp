// The configuration file reader of ORB_init.
#include <OB/ORBConfig.h>

#include <OB/Assert.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>

namespace {

// Overwrites every comment, from "#" up to the line feed, with "#".
void blankComments(std::string& text) {
    bool inComment = false;
    for (char& c : text) {
        if (c == '\n')
            inComment = false;
        else if (c == '#')
            inComment = true;
        if (inComment)
            c = '#';
    }
}

std::vector<std::string> tokens(const std::string& text) {
    static const char* const separators = " \t\n";
    std::vector<std::string> result;
    std::string::size_type start = text.find_first_not_of(separators);
    while (start != std::string::npos) {
        const std::string::size_type end = text.find_first_of(separators, start);
        result.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? end : text.find_first_not_of(separators, end);
    }
    return result;
}

}  // namespace

OBConfigEntries OBParseConfig(std::string text) {
    blankComments(text);
    OBConfigEntries entries;
    bool inServices = false;
    bool expectValue = false;
    std::string name;
    for (const std::string& token : tokens(text)) {
        if (expectValue) {
            entries.emplace_back(name, token);
            expectValue = false;
        } else if (token[0] == '#') {
            continue;
        } else if (token[0] == '[') {
            inServices = token == "[services]";
        } else if (inServices) {
            name = token;
            expectValue = true;
        }
    }
    return entries;
}

bool OBReadConfigFile(const char* fileName, OBConfigEntries& entries) {
    OB_ASSERT(fileName);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName, "r"), std::fclose);
    if (!file)
        return false;
    struct stat info;
    const std::size_t size = stat(fileName, &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
    std::string text(size, '\0');
    // Text mode may deliver fewer characters than the file holds.
    text.resize(std::fread(&text[0], 1, size, file.get()));
    entries = OBParseConfig(text);
    return true;
}
