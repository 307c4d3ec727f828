// The OCI current object: the initial service "OCICurrent". It would describe
// the transport of the request being served; this ORB serves no requests, so
// the object only has its identity.
#ifndef OB_OCI_CURRENT_H
#define OB_OCI_CURRENT_H

#include <OB/OCI.h>

class OCI_Current : public virtual CORBA_Object {
public:
    OCI_DECLARE_INTERFACE(OCI_Current);  // "IDL:stava.org/OCI/Current:1.0"
};

// The ORB's current object.
class OCI_Current_impl : public OCI_Current {};

#endif
