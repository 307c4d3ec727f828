// Registry scripts: the registrar language in which the bridge's REGISTRY
// resources describe the keys to write at registration and remove at
// unregistration.
//
//   HKCR
//   {
//   	NoRemove CLSID
//   	{
//   		ForceRemove {GUID} = s 'Model Class'
//   		{
//   			LocalServer32 = s '"%MODULE%"'
//   			val AppID = s '{GUID}'
//   		}
//   	}
//   }
//
// Tokens are separated by whitespace; 'quoted' tokens may contain blanks and
// braces, with '' standing for one quote. %NAME% is replaced from a map, %%
// gives one percent sign. Keywords (NoRemove, ForceRemove, val, s) are
// matched without regard to case and only when not quoted.
#ifndef BRIDGE_REG_SCRIPT_H
#define BRIDGE_REG_SCRIPT_H

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// What unregistration does with a key, and registration before writing it.
enum class RemoveRule {
    Normal,      // removed at unregistration once its subkeys are gone
    NoRemove,    // never removed; only its subkeys are unregistered
    ForceRemove  // deleted with its subtree before writing and at unregistration
};

// A named string value of a key ("val NAME = s DATA").
struct RegNamedValue {
    std::string name;
    std::string data;
};

// One key of the script with what is written into it.
struct RegKey {
    std::string name;
    RemoveRule rule = RemoveRule::Normal;
    std::optional<std::string> defaultValue;  // "NAME = s DATA"
    std::vector<RegNamedValue> values;
    std::vector<RegKey> subkeys;
};

// A syntax error, with the 1-based line where it was found.
class RegScriptError : public std::runtime_error {
public:
    RegScriptError(int line, const std::string& what);
    int line() const noexcept { return line_; }

private:
    int line_;
};

// Replacement texts for %NAME% by NAME (for example "MODULE").
using RegReplacements = std::map<std::string, std::string>;

// Parses `text`: a sequence of root keys (such as HKCR), each with a braced
// body. Returns the roots in script order; throws RegScriptError.
std::vector<RegKey> ParseRegScript(std::string_view text, const RegReplacements& replacements);

#endif
