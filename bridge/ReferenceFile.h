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

// Skips leading whitespace in `file`, then copies the word up to the next
// whitespace or the end of the file into `buffer` (`capacity` > 0 bytes, so at
// most capacity - 1 characters plus the terminator). Never writes past it.
WordRead ReadFirstWord(std::FILE* file, char* buffer, std::size_t capacity);

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

    // Reads the first word into `buffer`; the file must be open.
    WordRead readFirstWord(char* buffer, std::size_t capacity);

    // Closes the file if it is open.
    void close();

private:
    std::FILE* file_ = nullptr;
};

#endif
