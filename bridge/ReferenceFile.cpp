#include "ReferenceFile.h"

#include <cctype>

#ifdef _WIN32
#include <share.h>
#endif

namespace {

bool IsSpace(int c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// What a UTF-16 character that cannot be part of a reference is read as.
constexpr int kForeign = '?';

// The characters of a file in the encoding that its first octets tell.
class TextSource {
public:
    explicit TextSource(std::FILE* file) : file_(file) { readMark(); }

    TextEncoding encoding() const noexcept { return encoding_; }

    // The next character, or EOF.
    int next() {
        if (encoding_ != TextEncoding::Utf16LE && encoding_ != TextEncoding::Utf16BE)
            return octet();
        const int first = octet();
        const int second = first == EOF ? EOF : octet();
        if (second == EOF)
            return EOF;
        const unsigned unit = encoding_ == TextEncoding::Utf16LE
                                  ? unsigned(first) | unsigned(second) << 8
                                  : unsigned(first) << 8 | unsigned(second);
        return unit >= 1 && unit <= 0x7F ? static_cast<int>(unit) : kForeign;
    }

private:
    // Reads up to three octets ahead and consumes a byte-order mark among them.
    void readMark() {
        while (count_ < sizeof ahead_) {
            const int c = std::fgetc(file_);
            if (c == EOF)
                break;
            ahead_[count_++] = static_cast<unsigned char>(c);
        }
        if (starts(0xEF, 0xBB, 0xBF)) {
            encoding_ = TextEncoding::Utf8Bom;
            used_ = 3;
        } else if (starts(0xFF, 0xFE)) {
            encoding_ = TextEncoding::Utf16LE;
            used_ = 2;
        } else if (starts(0xFE, 0xFF)) {
            encoding_ = TextEncoding::Utf16BE;
            used_ = 2;
        }
    }

    bool starts(unsigned char a, unsigned char b) const {
        return count_ >= 2 && ahead_[0] == a && ahead_[1] == b;
    }
    bool starts(unsigned char a, unsigned char b, unsigned char c) const {
        return count_ >= 3 && starts(a, b) && ahead_[2] == c;
    }

    // The next octet: those read ahead first, then the file's.
    int octet() { return used_ < count_ ? ahead_[used_++] : std::fgetc(file_); }

    std::FILE* file_;
    TextEncoding encoding_ = TextEncoding::Plain;
    unsigned char ahead_[3] = {};
    std::size_t count_ = 0;
    std::size_t used_ = 0;
};

}  // namespace

const char* TextEncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Plain:
        return "plain text";
    case TextEncoding::Utf8Bom:
        return "UTF-8 with byte-order mark";
    case TextEncoding::Utf16LE:
        return "UTF-16LE";
    case TextEncoding::Utf16BE:
        return "UTF-16BE";
    }
    return "unknown";
}

WordRead ReadFirstWord(std::FILE* file, char* buffer, std::size_t capacity, TextEncoding& encoding) {
    TextSource text(file);
    encoding = text.encoding();
    int c = text.next();
    while (c != EOF && IsSpace(c))
        c = text.next();
    std::size_t len = 0;
    while (c != EOF && !IsSpace(c) && len + 1 < capacity) {
        buffer[len++] = static_cast<char>(c);
        c = text.next();
    }
    buffer[len] = '\0';
    if (c != EOF && !IsSpace(c))
        return WordRead::TooLong;
    return len == 0 ? WordRead::Empty : WordRead::Complete;
}

ReferenceFile::~ReferenceFile() { close(); }

bool ReferenceFile::open(const char* path) {
    close();
    // Text mode changes only CR LF pairs and stops at Ctrl-Z, octets that
    // the ASCII characters of a UTF-16 reference never form.
#ifdef _WIN32
    file_ = _fsopen(path, "r", _SH_DENYNO);
#else
    file_ = std::fopen(path, "r");
#endif
    return file_ != nullptr;
}

WordRead ReferenceFile::readFirstWord(char* buffer, std::size_t capacity, TextEncoding& encoding) {
    return ReadFirstWord(file_, buffer, capacity, encoding);
}

void ReferenceFile::close() {
    if (file_ == nullptr)
        return;
    std::fclose(file_);
    file_ = nullptr;
}
