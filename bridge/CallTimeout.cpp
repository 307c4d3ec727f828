#include "CallTimeout.h"

namespace {

constexpr std::uint32_t kLongestTimeout = 2147483647u;

// The time-out for a number of milliseconds; 0 and values beyond the
// signed range mean no limit.
std::int32_t FromMilliseconds(std::uint64_t ms) {
    if (ms == 0 || ms > kLongestTimeout)
        return kNoCallTimeout;
    return static_cast<std::int32_t>(ms);
}

std::int32_t FromNumber(const unsigned char* data, std::size_t size) {
    if (size != 4)
        return kNoCallTimeout;
    const std::uint32_t ms = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                             std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24;
    return FromMilliseconds(ms);
}

std::int32_t FromText(const unsigned char* data, std::size_t size) {
    std::uint64_t ms = 0;
    std::size_t digits = 0;
    for (; digits < size && data[digits] != '\0'; ++digits) {
        const unsigned char c = data[digits];
        if (c < '0' || c > '9')
            return kNoCallTimeout;
        // Past the signed range the value means no limit whatever follows;
        // stop growing it, so that no number of digits can wrap it.
        if (ms <= kLongestTimeout)
            ms = ms * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (digits == 0)
        return kNoCallTimeout;
    return FromMilliseconds(ms);
}

}  // namespace

std::int32_t ParseCallTimeout(CallTimeoutData type, const unsigned char* data, std::size_t size) {
    switch (type) {
    case CallTimeoutData::Number:
        return FromNumber(data, size);
    case CallTimeoutData::Text:
        return FromText(data, size);
    case CallTimeoutData::Other:
        break;
    }
    return kNoCallTimeout;
}
