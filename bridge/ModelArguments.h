// Conversions of automation arguments for the controller's operations.
#ifndef BRIDGE_MODEL_ARGUMENTS_H
#define BRIDGE_MODEL_ARGUMENTS_H

#include <windows.h>
#include <oleauto.h>

#include <string>

// An automation flag as a boolean: 0 is false, any other value true.
inline bool FlagArgument(LONG flag) noexcept { return flag != 0; }

// ISO-8859-1, the code set in which the application's ORB reads strings:
// GIOP 1.0 has no code-set negotiation, so the Windows code page must not
// decide what the application sees.
constexpr UINT kLabelCodePage = 28591;

// `text` in `codePage`, read up to its first NUL character; a null BSTR
// gives the empty string. A character that the code page lacks becomes
// Windows' plain equivalent where it has one (such as "-" for an en dash),
// else "?". Throws ControllerError (with the Win32 error) when the
// conversion fails, so that no label is ever sent empty or cut.
std::string NarrowText(BSTR text, UINT codePage);

// A label as the application reads it: NarrowText in kLabelCodePage.
inline std::string LabelText(BSTR label) { return NarrowText(label, kLabelCodePage); }

#endif
