#include "JreCheck.h"

#include "FakeRegistry.h"

#include <gtest/gtest.h>

#include <climits>

using kickoff::checkJre;
using kickoff::checkJreInViews;
using kickoff::JreCheckResult;
using kickoff::versionKeyName;
using kickoff_test::FakeRegistry;

namespace {

const std::string kRuntime = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

// The log of a check that gets as far as the version key 1.1.
std::vector<std::string> opensUpToVersion()
{
    return {"open SOFTWARE KEY_READ",
            "open SOFTWARE\\JavaSoft KEY_QUERY_VALUE",
            "open " + kRuntime + " KEY_QUERY_VALUE",
            "open " + kRuntime + "\\1.1 KEY_QUERY_VALUE"};
}

std::vector<std::string> closesFromVersion()
{
    return {"close " + kRuntime + "\\1.1", "close " + kRuntime, "close SOFTWARE\\JavaSoft",
            "close SOFTWARE"};
}

std::vector<std::string> fullLog()
{
    std::vector<std::string> log = opensUpToVersion();
    log.push_back("read MicroVersion 128");
    log.push_back("read JavaHome 128");
    const std::vector<std::string> closes = closesFromVersion();
    log.insert(log.end(), closes.begin(), closes.end());
    return log;
}

} // namespace

TEST(JreCheck, UsableJreDeliversItsHome)
{
    FakeRegistry registry;
    registry.jre("1.1").values = {{"MicroVersion", "8"}, {"JavaHome", "C:\\JRE\\1.1"}};
    const JreCheckResult result = checkJre(registry.localMachine, 1, 1, 7);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.javaHome, "C:\\JRE\\1.1");
    EXPECT_EQ(result.errorText, "");
    EXPECT_EQ(registry.log, fullLog());
}

TEST(JreCheck, MicroVersionEqualToTheMinimumPasses)
{
    FakeRegistry registry;
    registry.jre("1.1").values = {{"MicroVersion", "8"}, {"JavaHome", "C:\\JRE"}};
    EXPECT_EQ(checkJre(registry.localMachine, 1, 1, 8).code, 0);
    EXPECT_EQ(checkJre(registry.localMachine, 1, 1, -5).code, 0);
}

TEST(JreCheck, MissingKeysGiveCodesOneToFour)
{
    struct Case {
        const char* existing;  // deepest key that exists, "" for none
        int code;
        const char* text;
        std::size_t opens;
    };
    const Case cases[] = {
        {"", 1, "can't open Key 'SOFTWARE'", 1},
        {"SOFTWARE", 2, "can't open Key 'JavaSoft'", 2},
        {"SOFTWARE\\JavaSoft", 3, "can't open Key 'Java Runtime Environment'", 3},
        {"SOFTWARE\\JavaSoft\\Java Runtime Environment", 4, "can't open Key '1.1'", 4},
        // Another version is installed, not the one asked for.
        {"SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.2", 4, "can't open Key '1.1'", 4},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        if (*c.existing)
            registry.root.at(c.existing);
        const JreCheckResult result = checkJre(registry.localMachine, 1, 1, 0);
        EXPECT_EQ(result.code, c.code) << c.existing;
        EXPECT_EQ(result.errorText, c.text) << c.existing;
        EXPECT_EQ(result.javaHome, "") << c.existing;
        // The keys that did open are closed again, deepest first.
        const std::vector<std::string> opens = opensUpToVersion();
        std::vector<std::string> expected(opens.begin(), opens.begin() + c.opens);
        const std::vector<std::string> closes = closesFromVersion();
        expected.insert(expected.end(), closes.end() - (c.opens - 1), closes.end());
        EXPECT_EQ(registry.log, expected) << c.existing;
    }
}

TEST(JreCheck, MissingJavaHomeGivesFiveWhateverTheMicroVersion)
{
    for (const char* micro : {"8", "3", static_cast<const char*>(nullptr)}) {
        FakeRegistry registry;
        registry.jre("1.1");
        if (micro)
            registry.jre("1.1").values["MicroVersion"] = micro;
        const JreCheckResult result = checkJre(registry.localMachine, 1, 1, 7);
        EXPECT_EQ(result.code, 5);
        EXPECT_EQ(result.errorText, "can't open Key 'JavaHome'");
        EXPECT_EQ(registry.log, fullLog());
    }
}

TEST(JreCheck, MissingMicroVersionGivesSixAndStillTheHome)
{
    FakeRegistry registry;
    registry.jre("1.1").values = {{"JavaHome", "C:\\JRE"}};
    const JreCheckResult result = checkJre(registry.localMachine, 1, 1, 7);
    EXPECT_EQ(result.code, 6);
    EXPECT_EQ(result.errorText, "can't open Key 'MicroVersion'");
    EXPECT_EQ(result.javaHome, "C:\\JRE");
    EXPECT_EQ(registry.log, fullLog());
}

TEST(JreCheck, LowMicroVersionGivesSeven)
{
    FakeRegistry registry;
    registry.jre("1.1").values = {{"MicroVersion", "8"}, {"JavaHome", "C:\\JRE"}};
    const JreCheckResult result = checkJre(registry.localMachine, 1, 1, 9);
    EXPECT_EQ(result.code, 7);
    EXPECT_EQ(result.errorText, "MicroVersion is 8 but at least 9 is required");
    EXPECT_EQ(result.javaHome, "C:\\JRE");
    EXPECT_EQ(registry.log, fullLog());
}

TEST(JreCheck, MicroVersionIsReadAsItsLeadingNumberButQuotedAsStored)
{
    FakeRegistry registry;
    registry.jre("1.1").values = {{"MicroVersion", " 08_b03"}, {"JavaHome", "C:\\JRE"}};
    EXPECT_EQ(checkJre(registry.localMachine, 1, 1, 8).code, 0);
    const JreCheckResult result = checkJre(registry.localMachine, 1, 1, 10);
    EXPECT_EQ(result.code, 7);
    EXPECT_EQ(result.errorText, "MicroVersion is  08_b03 but at least 10 is required");
}

TEST(JreCheck, ErrorTextGrowsPastOneHundredTwentySevenCharacters)
{
    // The longest value that can be read, with the longest minimum.
    const std::string micro = "1" + std::string(126, 'x');
    FakeRegistry registry;
    registry.jre("1.1").values = {{"MicroVersion", micro}, {"JavaHome", "C:\\JRE"}};
    const JreCheckResult result = checkJre(registry.localMachine, 1, 1, INT_MIN + 1);
    EXPECT_EQ(result.code, 0);
    const JreCheckResult low = checkJre(registry.localMachine, 1, 1, INT_MAX);
    EXPECT_EQ(low.code, 7);
    EXPECT_EQ(low.errorText,
              "MicroVersion is " + micro + " but at least 2147483647 is required");
    EXPECT_GT(low.errorText.size(), 127u);
}

TEST(JreCheck, VersionKeyIsFormattedInFull)
{
    EXPECT_EQ(versionKeyName(1, 1), "1.1");
    EXPECT_EQ(versionKeyName(1, 8), "1.8");
    EXPECT_EQ(versionKeyName(-1, 0), "-1.0");
    EXPECT_EQ(versionKeyName(INT_MIN, INT_MIN), "-2147483648.-2147483648");

    FakeRegistry registry;
    registry.jre("2147483647.-2147483648").values = {{"MicroVersion", "1"},
                                                     {"JavaHome", "C:\\Big"}};
    const JreCheckResult found = checkJre(registry.localMachine, INT_MAX, INT_MIN, 0);
    EXPECT_EQ(found.code, 0);
    EXPECT_EQ(found.javaHome, "C:\\Big");
    const JreCheckResult missing = checkJre(registry.localMachine, INT_MIN, INT_MIN, 0);
    EXPECT_EQ(missing.code, 4);
    EXPECT_EQ(missing.errorText, "can't open Key '-2147483648.-2147483648'");
}

TEST(JreCheck, ValuesAreReadWithTheirCapacity)
{
    // The fake follows the registry's rule: text and NUL must fit in 128.
    FakeRegistry registry;
    registry.jre("1.1").values = {{"MicroVersion", "8"},
                                  {"JavaHome", std::string(127, 'h')}};
    EXPECT_EQ(checkJre(registry.localMachine, 1, 1, 0).javaHome, std::string(127, 'h'));
    registry.jre("1.1").values["JavaHome"] = std::string(128, 'h');
    EXPECT_EQ(checkJre(registry.localMachine, 1, 1, 0).code, 5);
    registry.jre("1.1").values = {{"MicroVersion", std::string(128, '9')},
                                  {"JavaHome", "C:\\JRE"}};
    EXPECT_EQ(checkJre(registry.localMachine, 1, 1, 0).code, 6);
}

// The two registry views of 64-bit Windows: the own view decides unless a
// key of the runtime's path is missing there.
TEST(JreCheckInViews, OwnViewWinsWhenItsRuntimeIsUsable)
{
    FakeRegistry own, other;
    own.jre("1.1").values = {{"MicroVersion", "8"}, {"JavaHome", "C:\\own"}};
    other.jre("1.1").values = {{"MicroVersion", "9"}, {"JavaHome", "C:\\other"}};
    const JreCheckResult result = checkJreInViews(own.localMachine, &other.localMachine, 1, 1, 7);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.javaHome, "C:\\own");
    EXPECT_TRUE(other.log.empty());
}

TEST(JreCheckInViews, MissingKeyInTheOwnViewLooksInTheOther)
{
    for (const char* ownPath : {"SOFTWARE", "SOFTWARE\\JavaSoft", kRuntime.c_str()}) {
        FakeRegistry own, other;
        own.root.at(ownPath);
        other.jre("1.1").values = {{"MicroVersion", "8"}, {"JavaHome", "C:\\other"}};
        const JreCheckResult result =
            checkJreInViews(own.localMachine, &other.localMachine, 1, 1, 7);
        EXPECT_EQ(result.code, 0) << ownPath;
        EXPECT_EQ(result.javaHome, "C:\\other") << ownPath;
        EXPECT_EQ(other.log, fullLog()) << ownPath;
    }
}

TEST(JreCheckInViews, FailureInBothViewsKeepsTheOwnViewsText)
{
    FakeRegistry own, other;
    own.root.at(kRuntime);
    other.jre("1.1").values = {{"MicroVersion", "6"}, {"JavaHome", "C:\\other"}};
    const JreCheckResult result = checkJreInViews(own.localMachine, &other.localMachine, 1, 1, 7);
    EXPECT_EQ(result.code, 4);
    EXPECT_EQ(result.errorText, "can't open Key '1.1'");
    EXPECT_FALSE(other.log.empty());
}

TEST(JreCheckInViews, OtherFailuresOfTheOwnViewStand)
{
    // A present but unusable runtime, or a SOFTWARE key that cannot be read,
    // is no missing registration.
    FakeRegistry other;
    other.jre("1.1").values = {{"MicroVersion", "8"}, {"JavaHome", "C:\\other"}};
    FakeRegistry tooOld, noHome, noSoftware;
    tooOld.jre("1.1").values = {{"MicroVersion", "6"}, {"JavaHome", "C:\\own"}};
    noHome.jre("1.1").values = {{"MicroVersion", "8"}};
    EXPECT_EQ(checkJreInViews(tooOld.localMachine, &other.localMachine, 1, 1, 7).code, 7);
    EXPECT_EQ(checkJreInViews(noHome.localMachine, &other.localMachine, 1, 1, 7).code, 5);
    EXPECT_EQ(checkJreInViews(noSoftware.localMachine, &other.localMachine, 1, 1, 7).code, 1);
    EXPECT_TRUE(other.log.empty());
}

TEST(JreCheckInViews, WithoutAnOtherViewTheOwnResultStands)
{
    FakeRegistry own;
    own.root.at("SOFTWARE\\JavaSoft");
    const JreCheckResult result = checkJreInViews(own.localMachine, nullptr, 1, 1, 7);
    EXPECT_EQ(result.code, 3);
    EXPECT_EQ(result.errorText, "can't open Key 'Java Runtime Environment'");
}
