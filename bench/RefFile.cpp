// Reads the reference file.
#include "RefFile.h"

#include <fstream>
#include <stdexcept>

std::string readRefFile(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line) || line.empty())
        throw std::runtime_error("cannot read a reference from " + path);
    return line;
}
