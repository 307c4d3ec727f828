// The process-wide request-id counter, seen from the peers: it starts at 0 in
// a fresh process and is shared by all connections. Kept in its own
// executable so that no other test can have taken an id before.
#include "ScriptedPeer.h"

#include <OB/GIOPClient.h>
#include <OB/OCI_IIOP_impl.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Started for the whole run: the clients keep their sockets until exit.
SocketLibrary sockets;

// Replies to `count` requests with their ids and records them.
ScriptedPeer::Script recordIds(std::vector<CORBA_ULong>& ids, int count) {
    return [&ids, count](ScriptedPeer& p) {
        PeerSocket s = p.accept();
        for (int i = 0; i < count; ++i) {
            PeerRequest r = s.readRequest();
            ids.push_back(r.id);
            s.send(replyWithValue(r.id, 0));
        }
    };
}

// One two-way request without arguments on obj through client.
void call(OBGIOPClient* client, CORBA_Object* obj) {
    OBBuffer buf(client->prepare(obj, "ping"));
    bool swap, user, forward;
    client->request(obj, "ping", buf, swap, user, forward, -1);
}

TEST(RequestId, FirstIsZeroAndTheCounterIsSharedByAllConnections) {
    std::vector<CORBA_ULong> idsA, idsB;
    ScriptedPeer peerA(recordIds(idsA, 2));
    ScriptedPeer peerB(recordIds(idsB, 1));
    OBObjVar<OBGIOPClient> a = new OBGIOPClient(new OCI_IIOP_Connector_impl("127.0.0.1", peerA.port()));
    OBObjVar<OBGIOPClient> b = new OBGIOPClient(new OCI_IIOP_Connector_impl("127.0.0.1", peerB.port()));
    OBObjVar<CORBA_Object> objA = new CORBA_Object;
    objA->ior = loopbackIor(peerA.port(), Bytes{1});
    OBObjVar<CORBA_Object> objB = new CORBA_Object;
    objB->ior = loopbackIor(peerB.port(), Bytes{2});

    call(a, objA);
    call(b, objB);
    call(a, objA);
    ASSERT_EQ(peerA.finish(), "");
    ASSERT_EQ(peerB.finish(), "");
    EXPECT_EQ(idsA, (std::vector<CORBA_ULong>{0, 2}));
    EXPECT_EQ(idsB, (std::vector<CORBA_ULong>{1}));
    EXPECT_EQ(OBGIOPClientWorker::next_request_id(), 3u);
}

}  // namespace
