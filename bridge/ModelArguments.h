// Conversions of automation arguments for the controller's operations.
#ifndef BRIDGE_MODEL_ARGUMENTS_H
#define BRIDGE_MODEL_ARGUMENTS_H

#include <windows.h>
#include <oleauto.h>

#include <string>

// An automation flag as a boolean: 0 is false, any other value true.
inline bool FlagArgument(LONG flag) noexcept { return flag != 0; }

// `text` in the ANSI code page, read up to its first NUL character; a null
// BSTR gives the empty string. Unmappable characters become the system's
// default character.
std::string AnsiText(BSTR text);

#endif
