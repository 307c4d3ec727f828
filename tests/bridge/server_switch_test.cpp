// The registration switches, found only as the last thing on the line, and
// the switch with which COM starts the server.
#include "ServerSwitch.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

int AsciiCompareNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int ca = std::tolower(static_cast<unsigned char>(*a));
        const int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

ServerSwitch Scan(const char* line) { return ScanServerSwitch(line, AsciiCompareNoCase); }

TEST(ServerSwitch, SwitchAtTheEndInAnyCaseAfterSlashOrDash) {
    EXPECT_EQ(ServerSwitch::Register, Scan("bridge.exe /RegServer"));
    EXPECT_EQ(ServerSwitch::Register, Scan("bridge.exe -regserver"));
    EXPECT_EQ(ServerSwitch::Register, Scan("\"c:\\a b\\bridge.exe\" /REGSERVER"));
    EXPECT_EQ(ServerSwitch::Unregister, Scan("bridge.exe /UnregServer"));
    EXPECT_EQ(ServerSwitch::Unregister, Scan("bridge.exe -unregserver"));
}

TEST(ServerSwitch, AnythingAfterTheSwitchDisablesIt) {
    EXPECT_EQ(ServerSwitch::None, Scan("bridge.exe -RegServer extra"));
    EXPECT_EQ(ServerSwitch::None, Scan("bridge.exe /RegServer "));
    EXPECT_EQ(ServerSwitch::None, Scan("bridge.exe /Embedding"));
    EXPECT_EQ(ServerSwitch::None, Scan("bridge.exe"));
    EXPECT_EQ(ServerSwitch::None, Scan(""));
    EXPECT_EQ(ServerSwitch::None, Scan("bridge.exe RegServer"));
    EXPECT_EQ(ServerSwitch::None, Scan("bridge.exe /"));
}

TEST(ServerSwitch, SeparatorsInThePathAreSkipped) {
    EXPECT_EQ(ServerSwitch::None, Scan("c:/my-tools/bridge.exe"));
    EXPECT_EQ(ServerSwitch::Register, Scan("c:/my-tools/bridge.exe /RegServer"));
    EXPECT_EQ(ServerSwitch::Register, Scan("bridge.exe /x/RegServer"));
    EXPECT_EQ(ServerSwitch::Unregister, Scan("bridge.exe /RegServer /UnregServer"));
    EXPECT_EQ(ServerSwitch::Register, Scan("bridge.exe /UnregServer -RegServer"));
}

bool ByCom(const char* line) { return StartedByCom(line, AsciiCompareNoCase); }

TEST(StartedByCom, EmbeddingAfterDashOrSlashInAnyCase) {
    EXPECT_TRUE(ByCom("bridge.exe -Embedding"));
    EXPECT_TRUE(ByCom("bridge.exe /Embedding"));
    EXPECT_TRUE(ByCom("Z:\\build\\bridge.exe -embedding"));
    EXPECT_TRUE(ByCom("\"c:\\a b\\bridge.exe\" /EMBEDDING"));
    // As COM starts it from the quoted LocalServer32 value.
    EXPECT_TRUE(ByCom("\"C:\\Program Files (x86)\\Stava-Bridge\\bridge.exe\" -Embedding"));
    EXPECT_TRUE(ByCom("bridge.exe\t-Embedding  "));
    EXPECT_TRUE(ByCom("bridge.exe -Embedding extra"));
    EXPECT_TRUE(ByCom("bridge.exe first /Embedding"));
}

TEST(StartedByCom, OnlyTheWholeWordAsAnArgument) {
    EXPECT_FALSE(ByCom("bridge.exe"));
    EXPECT_FALSE(ByCom(""));
    EXPECT_FALSE(ByCom("bridge.exe Embedding"));
    EXPECT_FALSE(ByCom("bridge.exe -Embeddingx"));
    EXPECT_FALSE(ByCom("bridge.exe -Embed"));
    EXPECT_FALSE(ByCom("bridge.exe x-Embedding"));
    EXPECT_FALSE(ByCom("bridge.exe --Embedding"));
    EXPECT_FALSE(ByCom("bridge.exe - /"));
    EXPECT_FALSE(ByCom("bridge.exe /RegServer"));
}

TEST(StartedByCom, TheProgramNameIsNoArgument) {
    EXPECT_FALSE(ByCom("c:/tools/-Embedding"));
    EXPECT_FALSE(ByCom("\"c:\\x -Embedding\\bridge.exe\""));
    EXPECT_FALSE(ByCom("\"c:\\x -Embedding\\bridge.exe\" -RegServer"));
    EXPECT_TRUE(ByCom("\"c:\\x -Embedding\\bridge.exe\" -Embedding"));
    EXPECT_FALSE(ByCom("\"unterminated -Embedding"));
}

}  // namespace
