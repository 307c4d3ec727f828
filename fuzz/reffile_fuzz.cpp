// The reference file that the application writes: its first word read into
// a buffer of the bridge's size (or a small one, to reach the too-long
// case), in whatever encoding its first octets announce (plain, UTF-8 with a
// byte-order mark, UTF-16), then parsed as a stringified reference as the
// bridge does.
//
// Input: one octet, the buffer's capacity (0: the bridge's 1000 octets),
// then the file's contents.
#include "ReferenceFile.h"

#include <OB/Except.h>
#include <OB/IOP.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::size_t capacity = data[0] == 0 ? 1000 : data[0];
    std::vector<uint8_t> contents(data + 1, data + size);
    contents.push_back(0);  // fmemopen needs room even for an empty file
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        fmemopen(contents.data(), size - 1 == 0 ? 1 : size - 1, "r"), std::fclose);
    if (!file)
        return 0;
    // Exactly capacity octets on the heap, so that any overrun is seen.
    std::unique_ptr<char[]> word(new char[capacity]);
    TextEncoding encoding = TextEncoding::Plain;
    if (ReadFirstWord(file.get(), word.get(), capacity, encoding) != WordRead::Complete)
        return 0;
    IOP_IOR ior;
    try {
        OBParseIOR(word.get(), ior);
    } catch (const CORBA_SystemException&) {
    }
    return 0;
}
