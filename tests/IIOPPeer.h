// Test support for the IIOP transport: connections over 127.0.0.1 made with
// the ORB's own acceptor and connector, so that both ends are transports.
#ifndef TESTS_IIOP_PEER_H
#define TESTS_IIOP_PEER_H

#include "LoopbackPair.h"

#include <OB/OCI_IIOP_impl.h>

// Both ends of one IIOP connection; the acceptor stays listening.
struct IIOPConnection {
    OBObjVar<OCI_IIOP_Acceptor_impl> acceptor;
    OBObjVar<OCI_IIOP_Connector_impl> connector;
    OBObjVar<OCI_Transport> client;
    OBObjVar<OCI_Transport> server;
};

// A listening acceptor (bound by the system to a free port).
inline OCI_IIOP_Acceptor_impl* listeningAcceptor() {
    OBObjVar<OCI_IIOP_Acceptor_impl> acceptor(new OCI_IIOP_Acceptor_impl("127.0.0.1", 0));
    acceptor->listen();
    return acceptor._retn();
}

// Connects to a fresh acceptor on 127.0.0.1 and accepts the connection (the
// system completes the handshake before accept is called).
inline IIOPConnection connectLoopback() {
    IIOPConnection c;
    c.acceptor = listeningAcceptor();
    c.connector = new OCI_IIOP_Connector_impl("127.0.0.1", c.acceptor->port());
    c.client = c.connector->connect();
    c.server = c.acceptor->accept();
    return c;
}

// A buffer of n octets holding 0, 1, 2, ... (mod 251), pos 0.
inline OCI_Buffer* patternBuffer(CORBA_ULong n) {
    OCI_Buffer* buf = new OCI_Buffer(n);
    for (CORBA_ULong i = 0; i < n; ++i)
        buf->data()[i] = static_cast<CORBA_Octet>(i % 251);
    return buf;
}

#endif
