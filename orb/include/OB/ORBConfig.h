// The ORB's configuration file: "name value" pairs of initial services in a
// "[services]" section, with "#" comments.
#ifndef OB_ORB_CONFIG_H
#define OB_ORB_CONFIG_H

#include <string>
#include <utility>
#include <vector>

// (service name, stringified reference) pairs in file order.
typedef std::vector<std::pair<std::string, std::string>> OBConfigEntries;

// The service entries of a configuration text. Every character from a "#" up
// to the next line feed is turned into "#"; the text is split at spaces, tabs
// and line feeds; a token starting with "#" where a name is expected is a
// comment, one starting with "[" a section heading; names count only in the
// section "[services]", and the next token, whatever it is, is the value. A
// name without value at the end is dropped.
OBConfigEntries OBParseConfig(std::string text);

// Reads the file in text mode (its size taken from the file system; the read
// may come out shorter where text mode drops carriage returns) and parses it.
// False when the file cannot be opened.
bool OBReadConfigFile(const char* fileName, OBConfigEntries& entries);

#endif
