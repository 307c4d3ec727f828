// Identity of the OCI current object.
#include <OB/OCICurrent.h>

#include <cstring>

namespace {

const char* const CurrentId = "IDL:stava.org/OCI/Current:1.0";

}  // namespace

const char* OCI_Current::_OB_typeId() const { return CurrentId; }

void* OCI_Current::_OB_castTo(const char* id) {
    if (std::strcmp(id, CurrentId) == 0)
        return static_cast<OCI_Current*>(this);
    return CORBA_Object::_OB_castTo(id);
}

OCI_Current* OCI_Current::_narrow(CORBA_Object* p) {
    return p ? OBDuplicate(static_cast<OCI_Current*>(p->_OB_castTo(CurrentId))) : nullptr;
}
