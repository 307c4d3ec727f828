#include "Log.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The log is a text file: each line feed becomes CR LF.
std::string PlatformText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 2);
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}
#else
std::string PlatformText(std::string_view text) { return std::string(text); }
#endif

}  // namespace

AppendFile::~AppendFile() { close(); }

#ifdef _WIN32
bool AppendFile::open(const char* path) {
    close();
    // Truncate first; then a handle with append access only, on which
    // Windows puts every write at the current end of the file.
    HANDLE truncating = CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (truncating == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(truncating);
    HANDLE appending = CreateFileA(path, FILE_APPEND_DATA | SYNCHRONIZE, kShareAll, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (appending == INVALID_HANDLE_VALUE)
        return false;
    handle_ = appending;
    return true;
}

bool AppendFile::write(const char* data, std::size_t size) {
    if (handle_ == nullptr)
        return false;
    DWORD written = 0;
    return size <= MAXDWORD &&
           WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr) != 0 &&
           written == size;
}

void AppendFile::close() {
    if (handle_ == nullptr)
        return;
    CloseHandle(handle_);
    handle_ = nullptr;
}
#else
bool AppendFile::open(const char* path) {
    close();
    fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

bool AppendFile::write(const char* data, std::size_t size) {
    if (fd_ < 0)
        return false;
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void AppendFile::close() {
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
}
#endif

Log::~Log() { close(); }

bool Log::open(const char* path) {
    close();
    failed_ = false;
    pending_.clear();
    open_ = file_.open(path);
    return usable();
}

bool Log::usable() const noexcept { return open_ && !failed_; }

void Log::line(std::string_view text, bool flush) {
    if (!usable())
        return;
    const std::size_t size = text.size() + 1;
    if (pending_.size() + size > kBufferSize)
        writePending();
    if (size > kBufferSize) {
        std::string whole(text);
        whole += '\n';
        writeText(whole);
    } else {
        pending_.append(text);
        pending_ += '\n';
    }
    if (flush)
        writePending();
}

void Log::close() {
    if (!open_)
        return;
    if (usable())
        writePending();
    file_.close();
    open_ = false;
}

void Log::writePending() {
    if (pending_.empty())
        return;
    writeText(pending_);
    pending_.clear();
}

void Log::writeText(std::string_view text) {
    if (!usable())
        return;
    const std::string out = PlatformText(text);
    if (!file_.write(out.data(), out.size()))
        failed_ = true;
}

Log& BridgeLog() {
    static Log log;
    return log;
}
