#include "Arguments.h"
#include "Decimal.h"

#include <gtest/gtest.h>

#include <climits>

using kickoff::ArgumentStatus;
using kickoff::LaunchMethod;
using kickoff::LaunchRequest;
using kickoff::parseArguments;
using kickoff::readDecimal;

TEST(ReadDecimal, ReadsLikeAtoi)
{
    EXPECT_EQ(readDecimal("1"), 1);
    EXPECT_EQ(readDecimal(" 1"), 1);
    EXPECT_EQ(readDecimal("\t\n\v\f\r 17"), 17);
    EXPECT_EQ(readDecimal("1abc"), 1);
    EXPECT_EQ(readDecimal("12.5"), 12);
    EXPECT_EQ(readDecimal("+5"), 5);
    EXPECT_EQ(readDecimal("-3"), -3);
    EXPECT_EQ(readDecimal("007"), 7);
}

TEST(ReadDecimal, NoDigitsGiveZero)
{
    EXPECT_EQ(readDecimal(""), 0);
    EXPECT_EQ(readDecimal("abc"), 0);
    EXPECT_EQ(readDecimal("- 1"), 0);
    EXPECT_EQ(readDecimal("+-1"), 0);
    EXPECT_EQ(readDecimal("x1"), 0);
}

TEST(ReadDecimal, ClampsAtTheEndsOfInt)
{
    EXPECT_EQ(readDecimal("2147483647"), INT_MAX);
    EXPECT_EQ(readDecimal("-2147483648"), INT_MIN);
    EXPECT_EQ(readDecimal("2147483648"), INT_MAX);
    EXPECT_EQ(readDecimal("-2147483649"), INT_MIN);
    EXPECT_EQ(readDecimal("99999999999999999999999999999"), INT_MAX);
    EXPECT_EQ(readDecimal("-99999999999999999999999999999"), INT_MIN);
}

namespace {

std::vector<std::string> eightArgs(const std::string& method)
{
    return {" 1", "1xyz", "8", "\\bin\\java.exe", "a b;c", "-Dx=1", "Main", method};
}

} // namespace

TEST(ParseArguments, ReadsAllEight)
{
    LaunchRequest request;
    ASSERT_EQ(parseArguments(eightArgs("C"), request), ArgumentStatus::Ok);
    EXPECT_EQ(request.vNum, 1);
    EXPECT_EQ(request.v2Num, 1);
    EXPECT_EQ(request.mNum, 8);
    EXPECT_EQ(request.exec, "\\bin\\java.exe");
    EXPECT_EQ(request.classpath, "a b;c");
    EXPECT_EQ(request.addargs, "-Dx=1");
    EXPECT_EQ(request.mainClass, "Main");
    EXPECT_EQ(request.method, LaunchMethod::Console);
}

TEST(ParseArguments, OnlyTheFirstCharacterOfTheLaunchMethodCounts)
{
    const std::pair<const char*, LaunchMethod> accepted[] = {
        {"W", LaunchMethod::Windowed}, {"w", LaunchMethod::Windowed},
        {"Windowed", LaunchMethod::Windowed}, {"windowed", LaunchMethod::Windowed},
        {"C", LaunchMethod::Console}, {"c", LaunchMethod::Console},
        {"console", LaunchMethod::Console}, {"Cx", LaunchMethod::Console}};
    for (const auto& [text, method] : accepted) {
        LaunchRequest request;
        request.method = method == LaunchMethod::Windowed ? LaunchMethod::Console
                                                          : LaunchMethod::Windowed;
        EXPECT_EQ(parseArguments(eightArgs(text), request), ArgumentStatus::Ok) << text;
        EXPECT_EQ(request.method, method) << text;
    }
}

TEST(ParseArguments, RejectsOtherLaunchMethodsAndLeavesTheRequest)
{
    for (const char* text : {"x", "", " W", "1", "\xC3\x87"}) {
        LaunchRequest request;
        request.vNum = 42;
        EXPECT_EQ(parseArguments(eightArgs(text), request), ArgumentStatus::BadLaunchMethod)
            << text;
        EXPECT_EQ(request.vNum, 42);
        EXPECT_TRUE(request.exec.empty());
    }
}

TEST(ParseArguments, CountIsTestedBeforeTheLaunchMethod)
{
    for (std::size_t count : {0u, 1u, 7u, 9u, 20u}) {
        const std::vector<std::string> args(count, "x");
        LaunchRequest request;
        EXPECT_EQ(parseArguments(args, request), ArgumentStatus::WrongCount) << count;
    }
    std::vector<std::string> nine = eightArgs("W");
    nine.push_back("extra");
    LaunchRequest request;
    EXPECT_EQ(parseArguments(nine, request), ArgumentStatus::WrongCount);
    nine.resize(7);
    EXPECT_EQ(parseArguments(nine, request), ArgumentStatus::WrongCount);
}
