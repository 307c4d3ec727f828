// CORBA::UnknownUserException: a user exception held as an Any.
#include <OB/Any.h>

CORBA_UnknownUserException::CORBA_UnknownUserException() = default;

CORBA_UnknownUserException::CORBA_UnknownUserException(const CORBA_Any& a) : any_(a) {}

CORBA_UnknownUserException::CORBA_UnknownUserException(const CORBA_UnknownUserException& other)
    : CORBA_UserException(other), any_(other.any_) {}

CORBA_UnknownUserException& CORBA_UnknownUserException::operator=(const CORBA_UnknownUserException& other) {
    any_ = other.any_;
    return *this;
}

CORBA_UnknownUserException::~CORBA_UnknownUserException() = default;

const char* CORBA_UnknownUserException::_rep_id() const {
    return "IDL:omg.org/CORBA/UnknownUserException:1.0";
}

CORBA_UnknownUserException* CORBA_UnknownUserException::_OB_clone() const {
    return new CORBA_UnknownUserException(*this);
}

CORBA_UnknownUserException* CORBA_UnknownUserException::_narrow(CORBA_Exception* e) {
    return dynamic_cast<CORBA_UnknownUserException*>(e);
}
