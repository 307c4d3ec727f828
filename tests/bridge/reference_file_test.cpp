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
};

ReadResult ReadFrom(const std::string& content, std::size_t capacity) {
    std::FILE* file = std::tmpfile();
    EXPECT_NE(nullptr, file);
    if (file == nullptr)
        return {WordRead::Empty, ""};
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
    std::string buffer(capacity, '\x7f');
    const WordRead outcome = ReadFirstWord(file, &buffer[0], capacity);
    std::fclose(file);
    return {outcome, buffer.c_str()};
}

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

TEST(ReferenceFile, OpenFailsForMissingFile) {
    ReferenceFile file;
    EXPECT_FALSE(file.open("no-such-dir/no-such-file.ref"));
}

}  // namespace
