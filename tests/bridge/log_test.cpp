// The bridge's log: buffered lines, flushes, whole lines at the end of a
// log that other processes write too, and a log that did not open.
#include "Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

#ifdef _WIN32
const char* const kLineEnd = "\r\n";
#else
const char* const kLineEnd = "\n";
#endif

class LogTest : public ::testing::Test {
protected:
    void TearDown() override { std::remove(path.c_str()); }
    std::string path = ::testing::TempDir() + "bridge_log_test.log";
};

TEST_F(LogTest, UnflushedLineWaitsForTheNextFlush) {
    {
        std::ofstream old(path);
        old << "old content that must be truncated\n";
    }
    Log log;
    ASSERT_TRUE(log.open(path.c_str()));
    log.line("bridge startup", false);
    EXPECT_EQ("", Contents(path));
    log.line("stv is 'IOR:00'");
    const std::string e = kLineEnd;
    EXPECT_EQ("bridge startup" + e + "stv is 'IOR:00'" + e, Contents(path));
    log.line("bridge shutdown");
    log.close();
    EXPECT_EQ("bridge startup" + e + "stv is 'IOR:00'" + e + "bridge shutdown" + e,
              Contents(path));
    EXPECT_FALSE(log.usable());
}

TEST_F(LogTest, BufferHolds512Bytes) {
    Log log;
    ASSERT_TRUE(log.open(path.c_str()));
    log.line(std::string(400, 'x'), false);
    EXPECT_EQ("", Contents(path));
    log.line(std::string(400, 'y'), false);
    // The second line overflowed the buffer, so some text reached the file.
    EXPECT_FALSE(Contents(path).empty());
}

// A line that does not fit goes out whole: the pending lines in one write,
// the long line in one of its own; no write ends inside a line.
TEST_F(LogTest, OverflowWritesWholeLines) {
    Log log;
    ASSERT_TRUE(log.open(path.c_str()));
    log.line(std::string(400, 'x'), false);
    log.line(std::string(400, 'y'), false);
    EXPECT_EQ(std::string(400, 'x') + kLineEnd, Contents(path));
    log.line(std::string(600, 'z'), false);
    EXPECT_EQ(std::string(400, 'x') + kLineEnd + std::string(400, 'y') + kLineEnd +
                  std::string(600, 'z') + kLineEnd,
              Contents(path));
}

// Two bridge processes on one log: the later start truncates it, and every
// line of either goes to the end of the file as it then is, never past it
// (a run of NUL octets) or over the other's lines.
TEST_F(LogTest, LaterStartTruncatesAndLinesAppendAtTheEnd) {
    const std::string e = kLineEnd;
    Log first;
    ASSERT_TRUE(first.open(path.c_str()));
    first.line("bridge startup", false);
    first.line("stv is '" + std::string(200, 'a') + "'");
    Log second;
    ASSERT_TRUE(second.open(path.c_str()));
    EXPECT_EQ("", Contents(path));
    second.line("bridge startup", false);
    second.line("stv is ''");
    first.line("bridge shutdown");
    second.line("bridge shutdown");
    EXPECT_EQ("bridge startup" + e + "stv is ''" + e + "bridge shutdown" + e + "bridge shutdown" + e,
              Contents(path));
}

TEST_F(LogTest, CloseWritesPendingLines) {
    Log log;
    ASSERT_TRUE(log.open(path.c_str()));
    log.line("bridge startup", false);
    log.close();
    EXPECT_EQ(std::string("bridge startup") + kLineEnd, Contents(path));
    log.line("ignored after close");
    EXPECT_EQ(std::string("bridge startup") + kLineEnd, Contents(path));
}

TEST_F(LogTest, LogThatDidNotOpenIgnoresWrites) {
    Log log;
    EXPECT_FALSE(log.open("no-such-dir/sub/bridge.log"));
    EXPECT_FALSE(log.usable());
    log.line("bridge startup");
    log.close();
}

}  // namespace
