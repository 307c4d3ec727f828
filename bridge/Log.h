// The bridge's plain text log: a few lines per run, no timestamps.
#ifndef BRIDGE_LOG_H
#define BRIDGE_LOG_H

#include <cstddef>
#include <string>
#include <string_view>

// A file that several processes write at once: each write lands, whole, at
// the end of the file as it is at that moment, wherever another process has
// truncated or extended it meanwhile.
class AppendFile {
public:
    AppendFile() = default;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    // Closes the file if it is open.
    ~AppendFile();

    // Opens `path`, created if missing and truncated, shared for reading and
    // writing with other processes. Returns whether it opened.
    bool open(const char* path);

    // Writes `size` octets of `data` in one write at the end of the file;
    // false if the file is not open or the write failed.
    bool write(const char* data, std::size_t size);

    // Closes the file if it is open.
    void close();

private:
#ifdef _WIN32
    void* handle_ = nullptr;  // a Win32 HANDLE, null when closed
#else
    int fd_ = -1;
#endif
};

class Log {
public:
    Log() = default;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    // Closes the file if it is still open.
    ~Log();

    // Opens `path` for writing: created if missing, truncated, shared for
    // reading and writing with other processes, holding up to 512 bytes of
    // lines until a flush. Lines go to the end of the file as it is when
    // they are written (other bridge processes write the same log), each
    // line end written as the platform's (CR LF on Windows). Returns
    // usable(). A log that did not open ignores every write.
    bool open(const char* path);

    // True while the file is open and no write has failed.
    bool usable() const noexcept;

    // Writes `text` and a line end, then flushes when `flush` is set; an
    // unflushed line reaches the disk with the next flush, at close, or when
    // the next line does not fit into the 512 bytes. Lines are written whole:
    // a flush writes all pending lines in one write, and a line longer than
    // the buffer goes out in a write of its own.
    void line(std::string_view text, bool flush = true);

    // Flushes and closes the file; later writes are ignored.
    void close();

private:
    void writePending();
    void writeText(std::string_view text);

    static constexpr std::size_t kBufferSize = 512;

    AppendFile file_;
    bool open_ = false;
    bool failed_ = false;
    std::string pending_;  // whole lines not yet written, LF-ended
};

// The process-wide log used by the main routine and by Model.
Log& BridgeLog();

#endif
