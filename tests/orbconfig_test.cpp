// The ORB configuration file: its tokens, comments and sections, and its
// services as ORB_init adds them.
#include <OB/ORB.h>
#include <OB/ORBConfig.h>

#include "OrbTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::pair<std::string, std::string>> Pairs;

Pairs parse(const std::string& text) { return OBParseConfig(text); }

TEST(ConfigText, ReadsNameValuePairsOnlyInTheServicesSection) {
    EXPECT_EQ(parse("[services]\nNameService IOR:00\n"), (Pairs{{"NameService", "IOR:00"}}));
    EXPECT_EQ(parse("[other]\nNameService IOR:00\n"), Pairs{});
    EXPECT_EQ(parse("NameService IOR:00\n"), Pairs{});
    EXPECT_EQ(parse("[services]\na 1\n[other]\nb 2\n[services]\nc 3\n"), (Pairs{{"a", "1"}, {"c", "3"}}));
    EXPECT_EQ(parse("[services]x\na 1\n"), Pairs{});
    EXPECT_EQ(parse("[Services]\na 1\n"), Pairs{});
}

TEST(ConfigText, SplitsAtSpacesTabsAndLineFeedsOnly) {
    EXPECT_EQ(parse("\t [services]\t\n\n  a\t\t1  b\n2"), (Pairs{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(parse("[services]\na\r\n1\r\n"), (Pairs{{"a\r", "1\r"}}));
    EXPECT_EQ(parse("[services]\r\na 1\n"), Pairs{});
}

TEST(ConfigText, NameAndValueMayStandOnDifferentLinesAndALoneNameIsDropped) {
    EXPECT_EQ(parse("[services]\na\n\n1\nb"), (Pairs{{"a", "1"}}));
    EXPECT_EQ(parse("[services] a"), Pairs{});
}

TEST(ConfigText, ValueIsTheNextTokenWhateverItIs) {
    EXPECT_EQ(parse("[services]\na [other]\nb 2\n"), (Pairs{{"a", "[other]"}, {"b", "2"}}));
    // A comment where a value is expected becomes the value.
    EXPECT_EQ(parse("[services]\na # note\n"), (Pairs{{"a", "######"}}));
}

TEST(ConfigText, CommentsAfterWhiteSpaceAreSkippedWhereverTheyStand) {
    const Pairs expected{{"a", "1"}, {"b", "2"}};
    EXPECT_EQ(parse("# head [services]\n[services] # x y\n  # a 9\na 1 # c d\n\t#\nb 2#"),
              (Pairs{{"a", "1"}, {"b", "2#"}}));
    EXPECT_EQ(parse("#[services]\na 1\n"), Pairs{});
    EXPECT_EQ(parse("[services]#\na 1\nb 2\n"), Pairs{});  // the heading token is "[services]#"
    EXPECT_EQ(parse("[services]\n#a 1\na 1\nb 2"), expected);
}

TEST(ConfigText, CommentGluedToAWordStaysPartOfItsToken) {
    // "a#x 1" becomes the single token "a####" and the next line gives its value.
    EXPECT_EQ(parse("[services]\na#x 1\n2\n"), (Pairs{{"a####", "2"}}));
}

// --- files ---------------------------------------------------------------------

// A configuration file in the temporary directory, removed at the end.
class ConfigFile {
public:
    explicit ConfigFile(const std::string& text, std::ios::openmode mode = std::ios::out)
        : path_((std::filesystem::temp_directory_path() /
                 ("orbconfig_test_" + std::to_string(counter_++) + ".cfg"))
                    .string()) {
        std::ofstream out(path_, mode);
        out << text;
    }
    ~ConfigFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    static int counter_;
    std::string path_;
};
int ConfigFile::counter_ = 0;

std::vector<std::string> serviceNames(CORBA_ORB* orb) {
    std::unique_ptr<CORBA_ORB_ObjectIdList> names(orb->list_initial_services());
    std::vector<std::string> result;
    for (CORBA_ULong i = 0; i < names->length(); ++i)
        result.push_back((*names)[i].in());
    return result;
}

CORBA_UShort servicePort(CORBA_ORB* orb, const char* name) {
    CORBA_Object_var obj(orb->resolve_initial_references(name));
    IIOP_ProfileBody body;
    OBDecodeIIOPProfile(obj->ior.profiles[0], body);
    return body.port;
}

class ConfigFileInit : public testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(CORBA_is_nil(CORBA_ORB::_OB_instance())); }
    CORBA_ORB* init(ArgVector& args) { return CORBA_ORB_init(args.argc, args.argv(), ""); }
};

TEST_F(ConfigFileInit, AddsTheServicesOfTheFileAfterTheBuiltInOnes) {
    ConfigFile file("# services of the test\n[services]\nNameService\n  iiop://127.0.0.1:11/n\n"
                    "[other]\nIgnored iiop://127.0.0.1:12/i\n[services]\nTrader iiop://127.0.0.1:13/t\nLast");
    ArgVector args{"prog", "-ORBconfig", file.path()};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(args.remaining(), (std::vector<std::string>{"prog"}));
    EXPECT_EQ(serviceNames(orb.in()),
              (std::vector<std::string>{"ORBPolicyManager", "OCICurrent", "NameService", "Trader"}));
    EXPECT_EQ(servicePort(orb.in(), "NameService"), 11);
    EXPECT_EQ(servicePort(orb.in(), "Trader"), 13);
}

TEST_F(ConfigFileInit, FileOverridesTheCommandLineWithOneWarning) {
    ConfigFile file("[services]\nNameService iiop://127.0.0.1:21/file\n");
    ArgVector args{"prog", "-ORBconfig", file.path(), "-ORBnaming", "iiop://127.0.0.1:22/line"};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "Warning: ORB_init: initial service `NameService' was overridden\n");
    EXPECT_EQ(servicePort(orb.in(), "NameService"), 21);
    EXPECT_EQ(serviceNames(orb.in()).size(), 3u);
}

TEST_F(ConfigFileInit, MissingFileGivesAWarningOnly) {
    const std::string missing =
        (std::filesystem::temp_directory_path() / "orbconfig_test_no_such_file.cfg").string();
    ArgVector args{"prog", "-ORBconfig", missing};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "Warning: ORB_init: configuration file `" + missing + "' not found\n");
    EXPECT_FALSE(CORBA_is_nil(orb.in()));
}

TEST_F(ConfigFileInit, EmptyFileNameNamesAFileThatCannotBeRead) {
    ConfigFile file("[services]\nA iiop://127.0.0.1:31/a\n");
    ArgVector args{"prog", "-ORBconfig", file.path(), "-ORBconfig", ""};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "Warning: ORB_init: configuration file `' not found\n");
    EXPECT_EQ(args.remaining(), (std::vector<std::string>{"prog"}));
    EXPECT_EQ(serviceNames(orb.in()).size(), 2u);
}

TEST_F(ConfigFileInit, LastConfigOptionWins) {
    ConfigFile file("[services]\nA iiop://127.0.0.1:31/a\n");
    ArgVector args{"prog", "-ORBconfig", "no such file", "-ORBconfig", file.path()};
    CORBA_ORB_var orb;
    const std::string out = captured([&] { orb = init(args); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(servicePort(orb.in(), "A"), 31);
}

TEST_F(ConfigFileInit, MalformedReferenceInTheFileLeavesNoORBBehind) {
    ConfigFile file("[services]\nGood iiop://127.0.0.1:41/g\nBad iiop://127.0.0.1\n");
    ArgVector args{"prog", "-ORBconfig", file.path()};
    EXPECT_THROW(init(args), CORBA_INV_OBJREF);
    EXPECT_TRUE(CORBA_is_nil(CORBA_ORB::_OB_instance()));

    ArgVector later{"prog"};
    CORBA_ORB_var orb(init(later));
    EXPECT_EQ(serviceNames(orb.in()).size(), 2u);
}

TEST_F(ConfigFileInit, ReadStopsAtWhatTextModeDelivered) {
    // Windows text mode drops the carriage returns, so the read comes out
    // shorter than the file; elsewhere they stay part of the tokens.
    ConfigFile file("[services]\r\nA\r\niiop://127.0.0.1:51/a\r\n", std::ios::out | std::ios::binary);
    OBConfigEntries entries;
    ASSERT_TRUE(OBReadConfigFile(file.path().c_str(), entries));
#ifdef _WIN32
    EXPECT_EQ(entries, (Pairs{{"A", "iiop://127.0.0.1:51/a"}}));
#else
    EXPECT_EQ(entries, Pairs{});  // "[services]\r" is not the services heading
#endif
}

}  // namespace
