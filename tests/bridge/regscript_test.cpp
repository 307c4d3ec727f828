// The registrar's script language, and the bridge's two scripts written in it.
#include "RegScript.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

const RegReplacements kModule = {{"MODULE", "C:\\Program Files\\it's\\bridge.exe"}};

std::string ReadScript(const char* name) {
    std::ifstream in(std::string(BRIDGE_SCRIPT_DIR) + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

const RegKey* Find(const RegKey& parent, const std::string& name) {
    for (const RegKey& key : parent.subkeys)
        if (key.name == name)
            return &key;
    return nullptr;
}

int LineOfError(const std::string& script) {
    try {
        ParseRegScript(script, kModule);
    } catch (const RegScriptError& e) {
        return e.line();
    }
    return 0;
}

TEST(RegScript, KeysValuesAndRules) {
    const auto roots = ParseRegScript(
        "HKCR\n{\n\tNoRemove CLSID\n\t{\n\t\tForceRemove {1-2} = s 'Model Class'\n\t\t{\n"
        "\t\t\tLocalServer32 = s '%MODULE%'\n\t\t\tForceRemove 'Programmable'\n"
        "\t\t\tval AppID = s '{3-4}'\n\t\t}\n\t}\n}\nHKLM { Plain }\n",
        kModule);
    ASSERT_EQ(2u, roots.size());
    EXPECT_EQ("HKCR", roots[0].name);
    EXPECT_EQ("HKLM", roots[1].name);
    ASSERT_EQ(1u, roots[1].subkeys.size());
    EXPECT_EQ(RemoveRule::Normal, roots[1].subkeys[0].rule);
    EXPECT_FALSE(roots[1].subkeys[0].defaultValue);

    const RegKey* clsid = Find(roots[0], "CLSID");
    ASSERT_NE(nullptr, clsid);
    EXPECT_EQ(RemoveRule::NoRemove, clsid->rule);
    const RegKey* cls = Find(*clsid, "{1-2}");
    ASSERT_NE(nullptr, cls);
    EXPECT_EQ(RemoveRule::ForceRemove, cls->rule);
    EXPECT_EQ("Model Class", cls->defaultValue.value_or(""));
    ASSERT_EQ(1u, cls->values.size());
    EXPECT_EQ("AppID", cls->values[0].name);
    EXPECT_EQ("{3-4}", cls->values[0].data);
    const RegKey* server = Find(*cls, "LocalServer32");
    ASSERT_NE(nullptr, server);
    EXPECT_EQ("C:\\Program Files\\it's\\bridge.exe", server->defaultValue.value_or(""));
    const RegKey* programmable = Find(*cls, "Programmable");
    ASSERT_NE(nullptr, programmable);
    EXPECT_EQ(RemoveRule::ForceRemove, programmable->rule);
    EXPECT_FALSE(programmable->defaultValue);
    EXPECT_TRUE(programmable->subkeys.empty());
}

TEST(RegScript, QuotingKeywordsAndPercent) {
    const auto roots = ParseRegScript(
        "HKCR { 'NoRemove' = s 'it''s {x} = y' noremove 'a b' { VAL n = S bare%%50 } "
        "'val' }",
        kModule);
    ASSERT_EQ(1u, roots.size());
    ASSERT_EQ(3u, roots[0].subkeys.size());
    EXPECT_EQ("NoRemove", roots[0].subkeys[0].name);
    EXPECT_EQ(RemoveRule::Normal, roots[0].subkeys[0].rule);
    EXPECT_EQ("it's {x} = y", roots[0].subkeys[0].defaultValue.value_or(""));
    EXPECT_EQ("a b", roots[0].subkeys[1].name);
    EXPECT_EQ(RemoveRule::NoRemove, roots[0].subkeys[1].rule);
    ASSERT_EQ(1u, roots[0].subkeys[1].values.size());
    EXPECT_EQ("bare%50", roots[0].subkeys[1].values[0].data);
    EXPECT_EQ("val", roots[0].subkeys[2].name);
    EXPECT_TRUE(ParseRegScript("", kModule).empty());
    EXPECT_TRUE(ParseRegScript(" \r\n\t", kModule).empty());
}

TEST(RegScript, ErrorsNameTheirLine) {
    EXPECT_EQ(3, LineOfError("HKCR\n{\n\tKey = s 'open\n}"));  // unterminated quote
    EXPECT_EQ(4, LineOfError("HKCR\n{\r\n\tKey\n"));           // missing '}' at the end
    EXPECT_EQ(2, LineOfError("HKCR\nKey"));                    // root without '{'
    EXPECT_EQ(1, LineOfError("HKCR { Key = d 5 }"));           // only string data
    EXPECT_EQ(1, LineOfError("HKCR { Key = s }"));             // data missing
    EXPECT_EQ(1, LineOfError("HKCR { Key = }"));               // type missing
    EXPECT_EQ(1, LineOfError("HKCR { val = s x }"));           // value name missing
    EXPECT_EQ(1, LineOfError("HKCR { val n s x }"));           // '=' missing
    EXPECT_EQ(1, LineOfError("HKCR { Key = s '%OTHER%' }"));   // unknown replacement
    EXPECT_EQ(1, LineOfError("HKCR { Key = s '50%' }"));       // unmatched '%'
    EXPECT_EQ(1, LineOfError("HKCR { NoRemove }"));            // rule without name
    EXPECT_EQ(1, LineOfError("{ }"));                          // no root name
    EXPECT_EQ(2, LineOfError("HKCR { }\n}"));                  // stray '}'
}

TEST(RegScript, ScriptFilesAreTabIndentedWithCrLf) {
    for (const char* name : {"StavaAutomationBridge.rgs", "Model.rgs"}) {
        const std::string text = ReadScript(name);
        ASSERT_FALSE(text.empty()) << name;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << name << " offset " << i;
            }
            if (text[i] == ' ' && (i == 0 || text[i - 1] == '\n' || text[i - 1] == '\t'))
                ADD_FAILURE() << name << ": blank used for indentation at offset " << i;
        }
        EXPECT_EQ("\r\n", text.substr(text.size() - 2)) << name;
    }
}

TEST(RegScript, ApplicationIdentityScript) {
    const auto roots = ParseRegScript(ReadScript("StavaAutomationBridge.rgs"), kModule);
    ASSERT_EQ(1u, roots.size());
    EXPECT_EQ("HKCR", roots[0].name);
    ASSERT_EQ(1u, roots[0].subkeys.size());
    const RegKey& appId = roots[0].subkeys[0];
    EXPECT_EQ("AppID", appId.name);
    EXPECT_EQ(RemoveRule::NoRemove, appId.rule);
    ASSERT_EQ(2u, appId.subkeys.size());
    const RegKey* id = Find(appId, "{356386B1-0AC2-11D2-B13D-0000C0BAD3E5}");
    ASSERT_NE(nullptr, id);
    EXPECT_EQ("StavaAutomationBridge", id->defaultValue.value_or(""));
    EXPECT_EQ(RemoveRule::Normal, id->rule);
    const RegKey* exe = Find(appId, "StavaAutomationBridge.EXE");
    ASSERT_NE(nullptr, exe);
    EXPECT_FALSE(exe->defaultValue);
    ASSERT_EQ(1u, exe->values.size());
    EXPECT_EQ("AppID", exe->values[0].name);
    EXPECT_EQ("{356386B1-0AC2-11D2-B13D-0000C0BAD3E5}", exe->values[0].data);
}

TEST(RegScript, ModelClassScript) {
    const std::string classId = "{9414E262-0AB6-11D2-B13D-0000C0BAD3E5}";
    const auto roots = ParseRegScript(ReadScript("Model.rgs"), kModule);
    ASSERT_EQ(1u, roots.size());
    ASSERT_EQ(3u, roots[0].subkeys.size());

    const RegKey* progId = Find(roots[0], "StavaAutomationBridge.Model.1");
    ASSERT_NE(nullptr, progId);
    EXPECT_EQ("Model Class", progId->defaultValue.value_or(""));
    ASSERT_NE(nullptr, Find(*progId, "CLSID"));
    EXPECT_EQ(classId, Find(*progId, "CLSID")->defaultValue.value_or(""));

    const RegKey* independent = Find(roots[0], "StavaAutomationBridge.Model");
    ASSERT_NE(nullptr, independent);
    EXPECT_EQ(RemoveRule::Normal, independent->rule);
    ASSERT_NE(nullptr, Find(*independent, "CurVer"));
    EXPECT_EQ("StavaAutomationBridge.Model.1",
              Find(*independent, "CurVer")->defaultValue.value_or(""));
    ASSERT_NE(nullptr, Find(*independent, "CLSID"));
    EXPECT_EQ(classId, Find(*independent, "CLSID")->defaultValue.value_or(""));

    const RegKey* clsidRoot = Find(roots[0], "CLSID");
    ASSERT_NE(nullptr, clsidRoot);
    EXPECT_EQ(RemoveRule::NoRemove, clsidRoot->rule);
    const RegKey* cls = Find(*clsidRoot, classId);
    ASSERT_NE(nullptr, cls);
    EXPECT_EQ(RemoveRule::ForceRemove, cls->rule);
    EXPECT_EQ("Model Class", cls->defaultValue.value_or(""));
    ASSERT_EQ(4u, cls->subkeys.size());
    EXPECT_EQ("StavaAutomationBridge.Model.1", Find(*cls, "ProgID")->defaultValue.value_or(""));
    EXPECT_EQ("StavaAutomationBridge.Model",
              Find(*cls, "VersionIndependentProgID")->defaultValue.value_or(""));
    EXPECT_EQ(RemoveRule::ForceRemove, Find(*cls, "Programmable")->rule);
    // In quotes: unquoted, Windows would try "C:\\Program.exe" first.
    EXPECT_EQ("\"" + kModule.at("MODULE") + "\"",
              Find(*cls, "LocalServer32")->defaultValue.value_or(""));
    ASSERT_EQ(1u, cls->values.size());
    EXPECT_EQ("AppID", cls->values[0].name);
    EXPECT_EQ("{356386B1-0AC2-11D2-B13D-0000C0BAD3E5}", cls->values[0].data);
}

}  // namespace
