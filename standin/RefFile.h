#pragma once

#include <string>

namespace standin {

// Writes text to path so that a reader polling for the file sees either no
// file or the whole text: it writes a temporary file beside it and renames it.
// Throws std::runtime_error on failure (the temporary file is removed).
void writeFileAtomically(const std::string& path, const std::string& text);

} // namespace standin
