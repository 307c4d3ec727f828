// The first whitespace-delimited word of the reference file.
#include "ReferenceFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// A temporary file holding `content`, read back through ReadFirstWord.
struct ReadResult {
    WordRead outcome;
    std::string word;
    TextEncoding encoding;
};

ReadResult ReadFrom(const std::string& content, std::size_t capacity) {
    std::FILE* file = std::tmpfile();
    EXPECT_NE(nullptr, file);
    if (file == nullptr)
        return {WordRead::Empty, "", TextEncoding::Plain};
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
    std::string buffer(capacity, '\x7f');
    TextEncoding encoding = TextEncoding::Plain;
    const WordRead outcome = ReadFirstWord(file, &buffer[0], capacity, encoding);
    std::fclose(file);
    return {outcome, buffer.c_str(), encoding};
}

// `text` (ASCII) as UTF-16 octets, the byte-order mark not included.
std::string Utf16(const std::string& text, bool littleEndian) {
    std::string out;
    for (const char c : text) {
        const char unit[2] = {littleEndian ? c : '\0', littleEndian ? '\0' : c};
        out.append(unit, 2);
    }
    return out;
}

const std::string kUtf8Mark = "\xEF\xBB\xBF";
const std::string kLEMark = "\xFF\xFE";
const std::string kBEMark = "\xFE\xFF";

TEST(ReferenceFile, FirstWordAfterLeadingWhitespace) {
    const ReadResult r = ReadFrom("\n\n  \t IOR:0001 IOR:0002\nsecond line\n", 1000);
    EXPECT_EQ(WordRead::Complete, r.outcome);
    EXPECT_EQ("IOR:0001", r.word);
    EXPECT_EQ("iiop://host:1/key", ReadFrom("iiop://host:1/key", 1000).word);
    EXPECT_EQ("IOR:ab", ReadFrom("IOR:ab\r\n", 1000).word);
}

TEST(ReferenceFile, EmptyOrBlankFileHasNoWord) {
    EXPECT_EQ(WordRead::Empty, ReadFrom("", 1000).outcome);
    const ReadResult r = ReadFrom(" \r\n\t\n", 1000);
    EXPECT_EQ(WordRead::Empty, r.outcome);
    EXPECT_EQ("", r.word);
}

TEST(ReferenceFile, WordAtTheCapacityLimit) {
    const std::string fits(999, 'a');
    const ReadResult exact = ReadFrom(fits + "\n", 1000);
    EXPECT_EQ(WordRead::Complete, exact.outcome);
    EXPECT_EQ(fits, exact.word);
    EXPECT_EQ(WordRead::Complete, ReadFrom(fits, 1000).outcome);

    const ReadResult longer = ReadFrom(fits + "b tail", 1000);
    EXPECT_EQ(WordRead::TooLong, longer.outcome);
    EXPECT_EQ(fits, longer.word);

    const ReadResult tiny = ReadFrom("abc", 1);
    EXPECT_EQ(WordRead::TooLong, tiny.outcome);
    EXPECT_EQ("", tiny.word);
}

// What Windows tools write: Notepad's "UTF-8 with BOM" and PowerShell 5's
// Out-File -Encoding utf8 put a UTF-8 mark in front, PowerShell 5's `>`
// writes UTF-16LE with its mark; each reads as the reference it holds.
TEST(ReferenceFile, ByteOrderMarksAreReadAsTheirText) {
    const struct {
        const char* form;
        std::string content;
        TextEncoding encoding;
    } cases[] = {
        {"plain", "IOR:00ab\r\n", TextEncoding::Plain},
        {"UTF-8 mark", kUtf8Mark + "IOR:00ab\r\n", TextEncoding::Utf8Bom},
        {"UTF-8 mark, blank line first", kUtf8Mark + "\r\n  IOR:00ab", TextEncoding::Utf8Bom},
        {"UTF-16LE", kLEMark + Utf16("IOR:00ab\r\n", true), TextEncoding::Utf16LE},
        {"UTF-16LE, blanks first", kLEMark + Utf16(" \t\r\nIOR:00ab next", true), TextEncoding::Utf16LE},
        {"UTF-16BE", kBEMark + Utf16("IOR:00ab\r\n", false), TextEncoding::Utf16BE},
        {"UTF-16LE without line end", kLEMark + Utf16("IOR:00ab", true), TextEncoding::Utf16LE},
        {"UTF-16LE with an odd octet at the end", kLEMark + Utf16("IOR:00ab", true) + "\n",
         TextEncoding::Utf16LE},
    };
    for (const auto& c : cases) {
        const ReadResult r = ReadFrom(c.content, 1000);
        EXPECT_EQ(WordRead::Complete, r.outcome) << c.form;
        EXPECT_EQ("IOR:00ab", r.word) << c.form;
        EXPECT_EQ(c.encoding, r.encoding) << c.form;
    }
}

// Beginnings that only look like a mark are plain text, read from the first
// octet on; what is not ASCII in UTF-16 shows as '?', so that it cannot pass
// for a reference.
TEST(ReferenceFile, OtherContentKeepsItsOctets) {
    const struct {
        const char* form;
        std::string content;
        TextEncoding encoding;
        WordRead outcome;
        std::string word;
    } cases[] = {
        {"half a UTF-8 mark", "\xEF\xBBIOR:1", TextEncoding::Plain, WordRead::Complete, "\xEF\xBBIOR:1"},
        {"one octet", "\xFF", TextEncoding::Plain, WordRead::Complete, "\xFF"},
        {"two marks' octets swapped", "\xBB\xEFx", TextEncoding::Plain, WordRead::Complete, "\xBB\xEFx"},
        {"UTF-8 mark only", kUtf8Mark, TextEncoding::Utf8Bom, WordRead::Empty, ""},
        {"UTF-16LE mark only", kLEMark, TextEncoding::Utf16LE, WordRead::Empty, ""},
        {"UTF-16LE blanks only", kLEMark + Utf16(" \r\n", true), TextEncoding::Utf16LE, WordRead::Empty, ""},
        {"UTF-16LE non-ASCII", kLEMark + std::string("I\0\xE4\0R\0\x00\x30", 8), TextEncoding::Utf16LE,
         WordRead::Complete, "I?R?"},
        {"UTF-16BE NUL", kBEMark + std::string("\0I\0\0\0R", 6), TextEncoding::Utf16BE, WordRead::Complete,
         "I?R"},
        {"UTF-16 without a mark", Utf16("IOR:1", true), TextEncoding::Plain, WordRead::Complete, "I"},
    };
    for (const auto& c : cases) {
        const ReadResult r = ReadFrom(c.content, 1000);
        EXPECT_EQ(c.outcome, r.outcome) << c.form;
        EXPECT_EQ(c.word, r.word) << c.form;
        EXPECT_EQ(c.encoding, r.encoding) << c.form;
    }
}

TEST(ReferenceFile, Utf16WordAtTheCapacityLimit) {
    const std::string fits(999, 'a');
    const ReadResult exact = ReadFrom(kLEMark + Utf16(fits + "\n", true), 1000);
    EXPECT_EQ(WordRead::Complete, exact.outcome);
    EXPECT_EQ(fits, exact.word);
    const ReadResult longer = ReadFrom(kBEMark + Utf16(fits + "b", false), 1000);
    EXPECT_EQ(WordRead::TooLong, longer.outcome);
    EXPECT_EQ(fits, longer.word);
}

TEST(ReferenceFile, EncodingNamesForTheLog) {
    EXPECT_STREQ("UTF-8 with byte-order mark", TextEncodingName(TextEncoding::Utf8Bom));
    EXPECT_STREQ("UTF-16LE", TextEncodingName(TextEncoding::Utf16LE));
    EXPECT_STREQ("UTF-16BE", TextEncodingName(TextEncoding::Utf16BE));
}

TEST(ReferenceFile, OpenFailsForMissingFile) {
    ReferenceFile file;
    EXPECT_FALSE(file.open("no-such-dir/no-such-file.ref"));
}

}  // namespace
