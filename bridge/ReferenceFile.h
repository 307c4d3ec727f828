// The reference file that the Java application writes: its first
// whitespace-delimited word is the stringified controller reference.
#ifndef BRIDGE_REFERENCE_FILE_H
#define BRIDGE_REFERENCE_FILE_H

#include <cstddef>
#include <cstdio>

// Outcome of reading the first word.
enum class WordRead {
    Complete,  // the whole word is in the buffer
    Empty,     // the file holds only whitespace
    TooLong    // the word did not fit; the buffer holds its beginning
};

// How the file's text is stored, told by its first octets. Windows tools put
// a byte-order mark in front (Notepad's "UTF-8 with BOM", PowerShell 5's
// Out-File and `>`).
enum class TextEncoding {
    Plain,    // no byte-order mark: one octet per character
    Utf8Bom,  // EF BB BF, skipped; then one octet per character
    Utf16LE,  // FF FE, then two octets per character, low one first
    Utf16BE   // FE FF, then two octets per character, high one first
};

// The name of `encoding` for the log ("UTF-16LE" and the like).
const char* TextEncodingName(TextEncoding encoding);

// Tells the encoding of `file` from its first octets (skipping a byte-order
// mark) into `encoding`, skips leading whitespace, then copies the word up to
// the next whitespace or the end of the file into `buffer` (`capacity` > 0
// bytes, so at most capacity - 1 characters plus the terminator). Never
// writes past it. A UTF-16 character outside ASCII, and a NUL, is copied as
// '?' (a reference is ASCII text); an odd octet at the end is ignored.
WordRead ReadFirstWord(std::FILE* file, char* buffer, std::size_t capacity, TextEncoding& encoding);

// The reference file, open for reading and shared with other processes.
class ReferenceFile {
public:
    ReferenceFile() = default;
    ReferenceFile(const ReferenceFile&) = delete;
    ReferenceFile& operator=(const ReferenceFile&) = delete;
    // Closes the file if it is still open.
    ~ReferenceFile();

    // Opens an existing file `path` for reading (never creates it); returns
    // whether it opened.
    bool open(const char* path);

    // Reads the first word into `buffer` and the file's encoding into
    // `encoding` (ReadFirstWord); the file must be open.
    WordRead readFirstWord(char* buffer, std::size_t capacity, TextEncoding& encoding);

    // Closes the file if it is open.
    void close();

private:
    std::FILE* file_ = nullptr;
};

#endif
