// The bridge's plain text log: a few lines per run, no timestamps.
#ifndef BRIDGE_LOG_H
#define BRIDGE_LOG_H

#include <cstddef>
#include <cstdio>
#include <string_view>

class Log {
public:
    Log() = default;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    // Closes the file if it is still open.
    ~Log();

    // Opens `path` for writing: created if missing, truncated, text mode,
    // shared for reading and writing with other processes, with a 512-byte
    // buffer. Returns usable(). A log that did not open ignores every write.
    bool open(const char* path);

    // True while the file is open and no write has failed.
    bool usable() const noexcept;

    // Writes `text` and a line end, then flushes when `flush` is set; an
    // unflushed line reaches the disk with the next flush or at close.
    void line(std::string_view text, bool flush = true);

    // Flushes and closes the file; later writes are ignored.
    void close();

private:
    void append(const char* data, std::size_t size);
    void writePending();

    std::FILE* file_ = nullptr;  // unbuffered: the log buffers by itself
    bool failed_ = false;
    // Lines not yet written; kept here rather than in the C library's stream
    // so that a line reaches the file only at a flush, close or full buffer
    // on every C library.
    char buffer_[512];
    std::size_t used_ = 0;
};

// The process-wide log used by the main routine and by Model.
Log& BridgeLog();

#endif
