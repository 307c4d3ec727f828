// The CORBA exception classes and the marshalled form of system exceptions.
#include <OB/Except.h>

#include <OB/Assert.h>
#include <OB/CDR.h>

#include <cstring>
#include <exception>

CORBA_Exception::~CORBA_Exception() = default;

// ---------------------------------------------------------------------------
// CORBA_SystemException
// ---------------------------------------------------------------------------

CORBA_SystemException::CORBA_SystemException(const char* reason)
    : CORBA_SystemException(reason, 0, CORBA_COMPLETED_NO)
{
}

CORBA_SystemException::CORBA_SystemException(CORBA_ULong minor, CORBA_CompletionStatus completed)
    : CORBA_SystemException("", minor, completed)
{
}

CORBA_SystemException::CORBA_SystemException(const char* reason, CORBA_ULong minor,
                                             CORBA_CompletionStatus completed)
    : reason_(nullptr), minor_(minor), completed_(completed)
{
    OB_CHECK_COMPLIANT(reason, OBNCNullString);
    reason_ = CORBA_string_dup(reason);
}

CORBA_SystemException::CORBA_SystemException(const CORBA_SystemException& other)
    : CORBA_Exception(other),
      reason_(CORBA_string_dup(other.reason_)),
      minor_(other.minor_),
      completed_(other.completed_)
{
}

CORBA_SystemException& CORBA_SystemException::operator=(const CORBA_SystemException& other)
{
    // Duplicate before freeing, so self-assignment keeps a valid reason.
    char* reason = CORBA_string_dup(other.reason_);
    CORBA_string_free(reason_);
    reason_ = reason;
    minor_ = other.minor_;
    completed_ = other.completed_;
    return *this;
}

CORBA_SystemException::~CORBA_SystemException()
{
    CORBA_string_free(reason_);
}

const char* CORBA_SystemException::_rep_id() const
{
    return "IDL:omg.org/CORBA/SystemException:1.0";
}

CORBA_SystemException* CORBA_SystemException::_OB_clone() const
{
    return new CORBA_SystemException(*this);
}

CORBA_SystemException* CORBA_SystemException::_narrow(CORBA_Exception* e)
{
    return dynamic_cast<CORBA_SystemException*>(e);
}

const CORBA_SystemException* CORBA_SystemException::_narrow(const CORBA_Exception* e)
{
    return dynamic_cast<const CORBA_SystemException*>(e);
}

// ---------------------------------------------------------------------------
// The system exception classes
// ---------------------------------------------------------------------------

#define OB_DEFINE_SYSTEM_EXCEPTION(NAME)                                                    \
    CORBA_##NAME::CORBA_##NAME(const char* reason) : CORBA_SystemException(reason) {}       \
    CORBA_##NAME::CORBA_##NAME(CORBA_ULong minor, CORBA_CompletionStatus completed)         \
        : CORBA_SystemException(minor, completed) {}                                        \
    CORBA_##NAME::CORBA_##NAME(const char* reason, CORBA_ULong minor,                       \
                               CORBA_CompletionStatus completed)                            \
        : CORBA_SystemException(reason, minor, completed) {}                                \
    CORBA_##NAME::~CORBA_##NAME() = default;                                                \
    const char* CORBA_##NAME::_rep_id() const { return "IDL:omg.org/CORBA/" #NAME ":1.0"; } \
    CORBA_##NAME* CORBA_##NAME::_OB_clone() const { return new CORBA_##NAME(*this); }       \
    CORBA_##NAME* CORBA_##NAME::_narrow(CORBA_Exception* e)                                 \
    {                                                                                       \
        return dynamic_cast<CORBA_##NAME*>(e);                                              \
    }                                                                                       \
    const CORBA_##NAME* CORBA_##NAME::_narrow(const CORBA_Exception* e)                     \
    {                                                                                       \
        return dynamic_cast<const CORBA_##NAME*>(e);                                        \
    }
OB_SYSTEM_EXCEPTIONS(OB_DEFINE_SYSTEM_EXCEPTION)
#undef OB_DEFINE_SYSTEM_EXCEPTION

// ---------------------------------------------------------------------------
// User exceptions
// ---------------------------------------------------------------------------

const char* CORBA_UserException::_rep_id() const
{
    return "IDL:omg.org/CORBA/UserException:1.0";
}

CORBA_UserException* CORBA_UserException::_narrow(CORBA_Exception* e)
{
    return dynamic_cast<CORBA_UserException*>(e);
}

const CORBA_UserException* CORBA_UserException::_narrow(const CORBA_Exception* e)
{
    return dynamic_cast<const CORBA_UserException*>(e);
}

CORBA_PolicyError* CORBA_PolicyError::_OB_clone() const
{
    return new CORBA_PolicyError(*this);
}

const char* CORBA_PolicyError::_OB_typeId() const
{
    return "IDL:omg.org/CORBA/PolicyError:1.0";
}

CORBA_PolicyError* CORBA_PolicyError::_narrow(CORBA_Exception* e)
{
    return dynamic_cast<CORBA_PolicyError*>(e);
}

CORBA_PolicyManager_InvalidPolicies* CORBA_PolicyManager_InvalidPolicies::_OB_clone() const
{
    return new CORBA_PolicyManager_InvalidPolicies(*this);
}

const char* CORBA_PolicyManager_InvalidPolicies::_OB_typeId() const
{
    return "IDL:omg.org/CORBA/PolicyManager/InvalidPolicies:1.0";
}

CORBA_PolicyManager_InvalidPolicies* CORBA_PolicyManager_InvalidPolicies::_narrow(CORBA_Exception* e)
{
    return dynamic_cast<CORBA_PolicyManager_InvalidPolicies*>(e);
}

// ---------------------------------------------------------------------------
// Marshalled form
// ---------------------------------------------------------------------------

void OBCount(const CORBA_SystemException& e, CORBA_ULong& count)
{
    OBCount(e._rep_id(), count);
    OBCount(e.minor(), count);
    OBCount(static_cast<CORBA_ULong>(e.completed()), count);
}

void OBWrite(const CORBA_SystemException& e, CORBA_Octet*& cursor)
{
    OBWrite(e._rep_id(), cursor);
    OBWrite(e.minor(), cursor);
    OBWrite(static_cast<CORBA_ULong>(e.completed()), cursor);
}

namespace {

// The three marshalled fields, as read.
struct WireSystemException {
    CORBA_String_var id;
    CORBA_ULong minor = 0;
    CORBA_ULong completed = 0; // kept as read, without a range check
};

WireSystemException readWire(OBInCursor& in, bool swap)
{
    WireSystemException w;
    OBRead(w.id, in, swap);
    OBRead(w.minor, in, swap);
    OBRead(w.completed, in, swap);
    return w;
}

// Passes an object of the class that the ID names exactly (case matters),
// or a CORBA_UNKNOWN, to act, and returns act's result.
template <class Act>
auto withSystemException(const WireSystemException& w, Act act)
{
    const auto completed = static_cast<CORBA_CompletionStatus>(w.completed);
#define OB_RECOGNISE(NAME)                                              \
    if (std::strcmp(w.id.in(), "IDL:omg.org/CORBA/" #NAME ":1.0") == 0) \
        return act(CORBA_##NAME(w.minor, completed));
    OB_RECOGNISED_SYSTEM_EXCEPTIONS(OB_RECOGNISE)
#undef OB_RECOGNISE
    return act(CORBA_UNKNOWN(w.minor, completed));
}

} // namespace

std::unique_ptr<CORBA_SystemException> OBReadSystemException(OBInCursor& in, bool swap)
{
    return withSystemException(readWire(in, swap), [](const auto& e) {
        return std::unique_ptr<CORBA_SystemException>(e._OB_clone());
    });
}

void OBRaiseSystemException(OBInCursor& in, bool swap)
{
    // The exception pointer keeps the object's own class for the throw.
    std::rethrow_exception(withSystemException(readWire(in, swap), [](const auto& e) {
        return std::make_exception_ptr(e);
    }));
}
