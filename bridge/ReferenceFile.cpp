#include "ReferenceFile.h"

#include <cctype>

#ifdef _WIN32
#include <share.h>
#endif

namespace {

bool IsSpace(int c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

WordRead ReadFirstWord(std::FILE* file, char* buffer, std::size_t capacity) {
    int c = std::fgetc(file);
    while (c != EOF && IsSpace(c))
        c = std::fgetc(file);
    std::size_t len = 0;
    while (c != EOF && !IsSpace(c) && len + 1 < capacity) {
        buffer[len++] = static_cast<char>(c);
        c = std::fgetc(file);
    }
    buffer[len] = '\0';
    if (c != EOF && !IsSpace(c))
        return WordRead::TooLong;
    return len == 0 ? WordRead::Empty : WordRead::Complete;
}

ReferenceFile::~ReferenceFile() { close(); }

bool ReferenceFile::open(const char* path) {
    close();
#ifdef _WIN32
    file_ = _fsopen(path, "r", _SH_DENYNO);
#else
    file_ = std::fopen(path, "r");
#endif
    return file_ != nullptr;
}

WordRead ReferenceFile::readFirstWord(char* buffer, std::size_t capacity) {
    return ReadFirstWord(file_, buffer, capacity);
}

void ReferenceFile::close() {
    if (file_ == nullptr)
        return;
    std::fclose(file_);
    file_ = nullptr;
}
