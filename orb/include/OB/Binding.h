// Binding references to clients: the ORB's binder, which finds a reusable
// client of the process-wide list or makes a GIOP client for the IOR.
#ifndef OB_BINDING_H
#define OB_BINDING_H

#include <OB/Client.h>
#include <OB/Policy.h>

// A client from the process-wide list that serves ior under policies, or a
// new one (see the reuse policy). CORBA_INITIALIZE without an ORB,
// CORBA_NO_RESOURCES when no connector factory accepts the IOR (both minor 0,
// COMPLETED_NO).
OBClient* OBFindClient(const IOP_IOR& ior, const CORBA_PolicyList& policies);

// Registers the ORB's binder for references (OBSetBinder); repeating it is harmless.
void OBInstallBinder();

#endif
