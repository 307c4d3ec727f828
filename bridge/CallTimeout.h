// The optional request time-out of every controller call, read from the
// registry value "callTimeout": how its data becomes the time-out that the
// controller reference carries into each request.
#ifndef BRIDGE_CALL_TIMEOUT_H
#define BRIDGE_CALL_TIMEOUT_H

#include <cstddef>
#include <cstdint>

// The time-out that makes every call wait for its reply without limit.
constexpr std::int32_t kNoCallTimeout = -1;

// How the registry typed the value's data, as far as the time-out cares.
enum class CallTimeoutData {
    Number,  // REG_DWORD: four octets, least significant first
    Text,    // REG_SZ: characters, usually ended by a NUL
    Other    // any other type: not a time-out
};

// The time-out in milliseconds given by `size` octets of `data` (null only
// when `size` is 0). A Number needs exactly four octets; a Text holds one or
// more decimal digits and nothing else up to its first NUL or its end.
// Returns kNoCallTimeout for every other form, for 0, and for a value above
// 2147483647, which the reference's signed time-out cannot carry.
std::int32_t ParseCallTimeout(CallTimeoutData type, const unsigned char* data, std::size_t size);

#endif
