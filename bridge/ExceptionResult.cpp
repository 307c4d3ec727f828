#include "ExceptionResult.h"

namespace {

// Index of e among the standard system exceptions, UNKNOWN's (0) if none.
std::uint32_t standardIndex(const CORBA_SystemException& e) {
    std::uint32_t index = 0;
    std::uint32_t found = 0;
#define OB_INDEX_OF(NAME)                                   \
    if (!found && CORBA_##NAME::_narrow(&e) != nullptr)     \
        found = index;                                      \
    ++index;
    OB_STANDARD_SYSTEM_EXCEPTIONS(OB_INDEX_OF)
#undef OB_INDEX_OF
    return found;
}

}  // namespace

std::int32_t SystemExceptionResult(const CORBA_SystemException& e) {
    std::uint32_t code = 0x80040200u + standardIndex(e);
    if (e.completed() == CORBA_COMPLETED_YES)
        code += 0x1000;
    else if (e.completed() == CORBA_COMPLETED_MAYBE)
        code += 0x2000;
    return static_cast<std::int32_t>(code);
}

std::string SystemExceptionDescription(const CORBA_SystemException& e) {
    CORBA_String_var text(OBExceptionText(e));
    return std::string(text.in());
}
