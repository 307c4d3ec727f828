// A registry in memory for the launcher's tests. Every open, read and close
// is logged with the key's path, so tests can check order and access.
#ifndef KICKOFF_TEST_FAKEREGISTRY_H
#define KICKOFF_TEST_FAKEREGISTRY_H

#include "Registry.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kickoff_test {

// One key: its subkeys and text values.
struct FakeNode {
    std::map<std::string, FakeNode> subkeys;
    std::map<std::string, std::string> values;

    // Returns the node at the backslash-separated `path`, creating it.
    FakeNode& at(const std::string& path)
    {
        FakeNode* node = this;
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t end = std::min(path.find('\\', start), path.size());
            node = &node->subkeys[path.substr(start, end - start)];
            start = end + 1;
        }
        return *node;
    }
};

// An open key of the tree; logs "close <path>" when destroyed, unless it is the root.
class FakeKey final : public kickoff::RegistryKey {
public:
    FakeKey(const FakeNode& node, std::string path, std::vector<std::string>& log)
        : node_(node), path_(std::move(path)), log_(log)
    {
    }

    ~FakeKey() override
    {
        if (!path_.empty())
            log_.push_back("close " + path_);
    }

    std::unique_ptr<kickoff::RegistryKey> openSubKey(const std::string& name,
                                                     kickoff::KeyAccess access) const override
    {
        const std::string path = path_.empty() ? name : path_ + "\\" + name;
        log_.push_back("open " + path
                       + (access == kickoff::KeyAccess::Read ? " KEY_READ" : " KEY_QUERY_VALUE"));
        const auto found = node_.subkeys.find(name);
        if (found == node_.subkeys.end())
            return nullptr;
        return std::make_unique<FakeKey>(found->second, path, log_);
    }

    std::optional<std::string> readText(const std::string& name,
                                        std::size_t capacity) const override
    {
        log_.push_back("read " + name + " " + std::to_string(capacity));
        const auto found = node_.values.find(name);
        if (found == node_.values.end() || found->second.size() + 1 > capacity)
            return std::nullopt;
        return found->second;
    }

private:
    const FakeNode& node_;
    std::string path_;
    std::vector<std::string>& log_;
};

// HKEY_LOCAL_MACHINE with its log.
struct FakeRegistry {
    FakeNode root;
    std::vector<std::string> log;
    FakeKey localMachine{root, "", log};

    // The key of JRE `version` ("1.1"), created.
    FakeNode& jre(const std::string& version)
    {
        return root.at("SOFTWARE\\JavaSoft\\Java Runtime Environment\\" + version);
    }
};

} // namespace kickoff_test

#endif
