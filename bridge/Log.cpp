#include "Log.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <share.h>
#endif

namespace {

std::FILE* OpenShared(const char* path) {
#ifdef _WIN32
    // Readers (an editor, a test) may look at the log while the bridge runs.
    return _fsopen(path, "wt", _SH_DENYNO);
#else
    return std::fopen(path, "w");
#endif
}

}  // namespace

Log::~Log() { close(); }

bool Log::open(const char* path) {
    close();
    failed_ = false;
    used_ = 0;
    file_ = OpenShared(path);
    if (file_ != nullptr && std::setvbuf(file_, nullptr, _IONBF, 0) != 0)
        failed_ = true;
    return usable();
}

bool Log::usable() const noexcept { return file_ != nullptr && !failed_; }

void Log::line(std::string_view text, bool flush) {
    if (!usable())
        return;
    append(text.data(), text.size());
    append("\n", 1);
    if (flush)
        writePending();
}

void Log::close() {
    if (file_ == nullptr)
        return;
    if (usable())
        writePending();
    std::fclose(file_);
    file_ = nullptr;
}

void Log::append(const char* data, std::size_t size) {
    while (size > 0 && usable()) {
        if (used_ == sizeof buffer_)
            writePending();
        const std::size_t chunk = std::min(size, sizeof buffer_ - used_);
        std::memcpy(buffer_ + used_, data, chunk);
        used_ += chunk;
        data += chunk;
        size -= chunk;
    }
}

void Log::writePending() {
    // Text mode turns each line feed into the platform's line end here.
    if (used_ > 0 && std::fwrite(buffer_, 1, used_, file_) != used_)
        failed_ = true;
    used_ = 0;
}

Log& BridgeLog() {
    static Log log;
    return log;
}
