// CORBA exceptions, the marshalled form of system exceptions, and the ORB's
// message sink.
//
// Every failure inside the ORB reaches its caller as one of these classes,
// thrown by value. Catch by reference to the class, to CORBA_SystemException
// or to CORBA_Exception.
#ifndef OB_EXCEPT_H
#define OB_EXCEPT_H

#include <OB/Types.h>

#include <memory>

struct OBInCursor;  // bounded read cursor, OB/Basic.h

// Whether the operation that failed had completed. Held and marshalled as an
// unsigned long; a value read from the wire is kept as read, even outside 0..2.
enum CORBA_CompletionStatus : CORBA_ULong {
    CORBA_COMPLETED_YES = 0,
    CORBA_COMPLETED_NO = 1,
    CORBA_COMPLETED_MAYBE = 2
};

// Abstract root of all CORBA exceptions. Has no data.
class CORBA_Exception {
public:
    virtual ~CORBA_Exception();

    // Repository ID of the object's class; static text, not owned by the caller.
    virtual const char* _rep_id() const = 0;

    // New heap copy of the same dynamic class; the caller owns it.
    virtual CORBA_Exception* _OB_clone() const = 0;

protected:
    CORBA_Exception() = default;
    CORBA_Exception(const CORBA_Exception&) = default;
    CORBA_Exception& operator=(const CORBA_Exception&) = default;
};

// A standard exception that any operation may raise. The reason is local
// text only and is never marshalled.
class CORBA_SystemException : public CORBA_Exception {
public:
    // reason copied (must not be null), minor 0, COMPLETED_NO.
    explicit CORBA_SystemException(const char* reason);
    // Empty reason.
    CORBA_SystemException(CORBA_ULong minor, CORBA_CompletionStatus completed);
    // reason copied (must not be null).
    CORBA_SystemException(const char* reason, CORBA_ULong minor, CORBA_CompletionStatus completed);
    // Copies get their own reason string.
    CORBA_SystemException(const CORBA_SystemException& other);
    CORBA_SystemException& operator=(const CORBA_SystemException& other);
    ~CORBA_SystemException() override;

    // "IDL:omg.org/CORBA/SystemException:1.0".
    const char* _rep_id() const override;
    CORBA_SystemException* _OB_clone() const override;

    // e typed as a system exception of any class, or null.
    static CORBA_SystemException* _narrow(CORBA_Exception* e);
    static const CORBA_SystemException* _narrow(const CORBA_Exception* e);

    // Free text of the failure; the empty text when none was given, never null.
    const char* reason() const { return reason_; }
    CORBA_ULong minor() const { return minor_; }
    CORBA_CompletionStatus completed() const { return static_cast<CORBA_CompletionStatus>(completed_); }

private:
    char* reason_;          // guarded string, owned
    CORBA_ULong minor_;
    CORBA_ULong completed_; // as given or as read
};

// The 26 standard system exceptions, in the order in which the diagnostic
// text tests them. All but UNKNOWN are recognised when read back.
#define OB_RECOGNISED_SYSTEM_EXCEPTIONS(X)                                          \
    X(BAD_PARAM) X(NO_MEMORY) X(IMP_LIMIT) X(COMM_FAILURE) X(INV_OBJREF)            \
    X(NO_PERMISSION) X(INTERNAL) X(MARSHAL) X(INITIALIZE) X(NO_IMPLEMENT)           \
    X(BAD_TYPECODE) X(BAD_OPERATION) X(NO_RESOURCES) X(NO_RESPONSE)                 \
    X(PERSIST_STORE) X(BAD_INV_ORDER) X(TRANSIENT) X(FREE_MEM) X(INV_IDENT)         \
    X(INV_FLAG) X(INTF_REPOS) X(BAD_CONTEXT) X(OBJ_ADAPTER) X(DATA_CONVERSION)      \
    X(OBJECT_NOT_EXIST)
#define OB_STANDARD_SYSTEM_EXCEPTIONS(X) X(UNKNOWN) OB_RECOGNISED_SYSTEM_EXCEPTIONS(X)
// Every system exception class; INV_POLICY is the ORB's own addition and is
// read back as UNKNOWN.
#define OB_SYSTEM_EXCEPTIONS(X) OB_STANDARD_SYSTEM_EXCEPTIONS(X) X(INV_POLICY)

// One class per system exception: no fields of its own, constructors as for
// CORBA_SystemException, repository ID "IDL:omg.org/CORBA/<NAME>:1.0", and
// _narrow that yields e typed as this class when it is one, else null.
#define OB_DECLARE_SYSTEM_EXCEPTION(NAME)                                                  \
    class CORBA_##NAME : public CORBA_SystemException {                                    \
    public:                                                                                \
        explicit CORBA_##NAME(const char* reason);                                         \
        CORBA_##NAME(CORBA_ULong minor, CORBA_CompletionStatus completed);                 \
        CORBA_##NAME(const char* reason, CORBA_ULong minor, CORBA_CompletionStatus completed); \
        CORBA_##NAME(const CORBA_##NAME&) = default;                                       \
        CORBA_##NAME& operator=(const CORBA_##NAME&) = default;                            \
        ~CORBA_##NAME() override;                                                          \
        const char* _rep_id() const override;                                              \
        CORBA_##NAME* _OB_clone() const override;                                          \
        static CORBA_##NAME* _narrow(CORBA_Exception* e);                                  \
        static const CORBA_##NAME* _narrow(const CORBA_Exception* e);                      \
    };
OB_SYSTEM_EXCEPTIONS(OB_DECLARE_SYSTEM_EXCEPTION)
#undef OB_DECLARE_SYSTEM_EXCEPTION

// Minor codes with their explanations: one X(NAME, TEXT) entry per code, in
// code order from 1. The enumerations below (OBMinor<NAME>) and the text that
// OBExceptionText appends to a minor code are both made from these lists.

// Minor codes of CORBA_COMM_FAILURE: the failed socket call or GIOP condition.
#define OB_COMM_FAILURE_MINORS(X)                                \
    X(Recv, "recv() failed")                                     \
    X(Send, "send() failed")                                     \
    X(RecvZero, "recv() returned zero")                          \
    X(SendZero, "send() returned zero")                          \
    X(Socket, "socket() failed")                                 \
    X(Setsockopt, "setsockopt() failed")                         \
    X(Getsockopt, "getsockopt() failed")                         \
    X(Bind, "bind() failed")                                     \
    X(Listen, "listen() failed")                                 \
    X(Connect, "connect() failed")                               \
    X(Accept, "accept() failed")                                 \
    X(Select, "select() failed")                                 \
    X(Gethostname, "gethostname() failed")                       \
    X(Gethostbyname, "gethostbyname() failed")                   \
    X(WSAStartup, "WSAStartup() failed")                         \
    X(WSACleanup, "WSACleanup() failed")                         \
    X(NoGIOP, "not a GIOP message")                              \
    X(UnknownMessage, "unknown GIOP message")                    \
    X(WrongMessage, "wrong GIOP message")                        \
    X(CloseConnection, "got a `close connection' message")       \
    X(MessageError, "got a `message error' message")

// Minor codes of CORBA_INTF_REPOS. The ORB raises only OBMinorNoIntfRepos.
#define OB_INTF_REPOS_MINORS(X)                                          \
    X(NoIntfRepos, "interface repository is not available")              \
    X(RepidExists, "repository id already exists")                       \
    X(NameExists, "name already exists")                                 \
    X(RepositoryDestroy, "destroy() invoked on Repository object")       \
    X(PrimitiveDefDestroy, "destroy() invoked on PrimitiveDef object")   \
    X(AttrExists, "attribute is already defined in a base interface")    \
    X(OperExists, "operation is already defined in a base interface")    \
    X(LookupAmbiguous, "search name for lookup() is ambiguous")          \
    X(AttributeClash, "attribute name collisions in base interfaces")    \
    X(OperationClash, "operation name collisions in base interfaces")    \
    X(IllegalRecursion, "illegal recursion")

// 0 is no code of these lists: a placeholder takes it, so the first entry is 1.
#define OB_MINOR_ENUMERATOR(NAME, TEXT) OBMinor##NAME,
enum OBCommFailureMinor : CORBA_ULong {
    OBCommFailureMinorNone_ = 0,
    OB_COMM_FAILURE_MINORS(OB_MINOR_ENUMERATOR)
};
enum OBIntfReposMinor : CORBA_ULong {
    OBIntfReposMinorNone_ = 0,
    OB_INTF_REPOS_MINORS(OB_MINOR_ENUMERATOR)
};
#undef OB_MINOR_ENUMERATOR

// Base of exceptions declared in IDL. Has no data.
class CORBA_UserException : public CORBA_Exception {
public:
    // "IDL:omg.org/CORBA/UserException:1.0".
    const char* _rep_id() const override;

    // e typed as a user exception, or null.
    static CORBA_UserException* _narrow(CORBA_Exception* e);
    static const CORBA_UserException* _narrow(const CORBA_Exception* e);

protected:
    CORBA_UserException() = default;
    CORBA_UserException(const CORBA_UserException&) = default;
    CORBA_UserException& operator=(const CORBA_UserException&) = default;
};

// CORBA::PolicyError.
class CORBA_PolicyError : public CORBA_UserException {
public:
    CORBA_PolicyError* _OB_clone() const override;
    // "IDL:omg.org/CORBA/PolicyError:1.0".
    virtual const char* _OB_typeId() const;
    // e typed as this class, or null.
    static CORBA_PolicyError* _narrow(CORBA_Exception* e);
};

// CORBA::PolicyManager::InvalidPolicies.
class CORBA_PolicyManager_InvalidPolicies : public CORBA_UserException {
public:
    CORBA_PolicyManager_InvalidPolicies* _OB_clone() const override;
    // "IDL:omg.org/CORBA/PolicyManager/InvalidPolicies:1.0".
    virtual const char* _OB_typeId() const;
    // e typed as this class, or null.
    static CORBA_PolicyManager_InvalidPolicies* _narrow(CORBA_Exception* e);
};

// Exceptions of the TypeCode and ORB pseudo-objects: empty, outside the tree.
class CORBA_TypeCode_BadKind {};   // query not valid for the TypeCode's kind
class CORBA_TypeCode_Bounds {};    // member index at or beyond the member count
class CORBA_ORB_InvalidName {};    // no initial reference of that name

// Marshalled form: repository ID (_rep_id) as a string, minor and completed
// as unsigned longs. The reason is not marshalled.
void OBCount(const CORBA_SystemException& e, CORBA_ULong& count);
void OBWrite(const CORBA_SystemException& e, CORBA_Octet*& cursor);

// Reads the marshalled form and builds the class that the repository ID names,
// with the minor code and completion status as read and an empty reason. An ID
// that is not recognised (UNKNOWN's and INV_POLICY's included) gives
// CORBA_UNKNOWN. A malformed ID or short data raises CORBA_MARSHAL.
std::unique_ptr<CORBA_SystemException> OBReadSystemException(OBInCursor& in, bool swap);

// As OBReadSystemException, then throws the object by value.
[[noreturn]] void OBRaiseSystemException(OBInCursor& in, bool swap);

// Diagnostic text of e ("System exception `NAME'", reason, completion, minor
// code and its explanation) as a new guarded string; the caller frees it.
char* OBExceptionText(const CORBA_SystemException& e);

// Passes OBExceptionText(e) to the message sink.
void OBPrintException(const CORBA_SystemException& e);

// The one sink of the ORB's diagnostics. A subclass that overrides only
// message() receives every kind of output.
class OBMessageViewer {
public:
    OBMessageViewer() = default;
    OBMessageViewer(const OBMessageViewer&) = delete;
    OBMessageViewer& operator=(const OBMessageViewer&) = delete;
    virtual ~OBMessageViewer();

    // Writes text and a newline to standard error and flushes.
    virtual void message(const char* text);
    // message("Error: " + text).
    virtual void error(const char* text);
    // message("Warning: " + text).
    virtual void warning(const char* text);
    // message("Non-compliant application error detected:\n" + text).
    virtual void nonCompliantApplication(const char* text);

    // The process-wide sink, created on first use and never destroyed.
    static OBMessageViewer* instance();
};

#endif
