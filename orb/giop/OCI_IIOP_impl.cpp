// IIOP over TCP/IPv4: transport, connector, acceptor, connector factory and
// their info objects.
#include <OB/OCI_IIOP_impl.h>

#include <cstring>
#include <utility>

namespace {

[[noreturn]] void throwSocketFailure(CORBA_ULong minor) {
    throw CORBA_COMM_FAILURE(socket_error_text(), minor, CORBA_COMPLETED_NO);
}

// Closes the socket after a failed call and raises minor, with the failed
// call's error restored so that the reason describes it rather than the close.
[[noreturn]] void closeAndThrow(OBSocket& socket, CORBA_ULong minor) {
    const int error = OBGetSocketError();
    socket.reset();
    OBSetSocketError(error);
    throwSocketFailure(minor);
}

OCI_IIOP_InetAddr inetAddr(const sockaddr_in& addr) {
    OCI_IIOP_InetAddr result;
    std::memcpy(result.octets, &addr.sin_addr, sizeof result.octets);
    return result;
}

sockaddr_in zeroedAddress(CORBA_UShort port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    return addr;
}

// The same machine: equal text, else equal resolved addresses.
bool sameHost(const char* a, const char* b) {
    if (std::strcmp(a, b) == 0)
        return true;
    sockaddr_in first = zeroedAddress(0);
    sockaddr_in second = zeroedAddress(0);
    resolve_host(a, first);
    resolve_host(b, second);
    return first.sin_addr.s_addr == second.sin_addr.s_addr;
}

bool sameKey(const CORBA_OctetSeq& a, const CORBA_OctetSeq& b) {
    return a.length() == b.length() && std::memcmp(a.data(), b.data(), a.length()) == 0;
}

bool equivalentBodies(const IIOP_ProfileBody& a, const IIOP_ProfileBody& b) {
    return a.iiop_version.major == b.iiop_version.major && a.iiop_version.minor == b.iiop_version.minor &&
           a.port == b.port && sameKey(a.object_key, b.object_key) && sameHost(a.host.in(), b.host.in());
}

}  // namespace

// --- info objects --------------------------------------------------------------

OCI_IIOP_TransportInfo_impl::OCI_IIOP_TransportInfo_impl(OCI_IIOP_Transport_impl* transport,
                                                         OCI_ConnectorInfo* connector,
                                                         OCI_AcceptorInfo* acceptor)
    : OCI_TransportInfo_impl(connector, acceptor), transport_(transport) {}

OCI_ProfileId OCI_IIOP_TransportInfo_impl::tag() { return IOP_TAG_INTERNET_IOP; }

OCI_IIOP_InetAddr OCI_IIOP_TransportInfo_impl::local_address() {
    sockaddr_in addr = zeroedAddress(0);
    if (transport_)
        OBSocketLocalAddress(transport_->handle(), addr);
    return inetAddr(addr);
}

CORBA_UShort OCI_IIOP_TransportInfo_impl::local_port() {
    sockaddr_in addr;
    if (!transport_ || !OBSocketLocalAddress(transport_->handle(), addr))
        return 0;
    return ntohs(addr.sin_port);
}

OCI_IIOP_InetAddr OCI_IIOP_TransportInfo_impl::remote_address() {
    sockaddr_in addr = zeroedAddress(0);
    if (transport_)
        OBSocketPeerAddress(transport_->handle(), addr);
    return inetAddr(addr);
}

CORBA_UShort OCI_IIOP_TransportInfo_impl::remote_port() {
    sockaddr_in addr;
    if (!transport_ || !OBSocketPeerAddress(transport_->handle(), addr))
        return 0;
    return ntohs(addr.sin_port);
}

OCI_IIOP_ConnectorInfo_impl::OCI_IIOP_ConnectorInfo_impl(const sockaddr_in& remote, CORBA_UShort port)
    : address_(inetAddr(remote)), port_(port) {}

OCI_ProfileId OCI_IIOP_ConnectorInfo_impl::tag() { return IOP_TAG_INTERNET_IOP; }

OCI_IIOP_InetAddr OCI_IIOP_ConnectorInfo_impl::remote_address() { return address_; }

CORBA_UShort OCI_IIOP_ConnectorInfo_impl::remote_port() { return port_; }

OCI_IIOP_AcceptorInfo_impl::OCI_IIOP_AcceptorInfo_impl(const sockaddr_in& local)
    : address_(inetAddr(local)), port_(ntohs(local.sin_port)) {}

OCI_ProfileId OCI_IIOP_AcceptorInfo_impl::tag() { return IOP_TAG_INTERNET_IOP; }

OCI_IIOP_InetAddr OCI_IIOP_AcceptorInfo_impl::local_address() { return address_; }

CORBA_UShort OCI_IIOP_AcceptorInfo_impl::local_port() { return port_; }

// --- transport -------------------------------------------------------------------

OCI_IIOP_Transport_impl::OCI_IIOP_Transport_impl(OBSocket socket, OCI_ConnectorInfo* connector,
                                                 OCI_AcceptorInfo* acceptor)
    : socket_(std::move(socket)), block_(true),
      info_(new OCI_IIOP_TransportInfo_impl(this, connector, acceptor)) {}

OCI_IIOP_Transport_impl::~OCI_IIOP_Transport_impl() { info_->_OB_detach(); }

OCI_ProfileId OCI_IIOP_Transport_impl::tag() { return IOP_TAG_INTERNET_IOP; }

OCI_Handle OCI_IIOP_Transport_impl::handle() { return socket_.get(); }

CORBA_Long OCI_IIOP_Transport_impl::reserved_attribute() { return 0; }

void OCI_IIOP_Transport_impl::close() {
    socket_.reset();
    block_ = true;
}

void OCI_IIOP_Transport_impl::setBlocking(bool block) {
    if (block == block_)
        return;
    block_ = block;
    // As with ioctlsocket, the result is not checked: a transfer on a socket
    // in the wrong mode fails on its own.
    OBSocketSetBlocking(socket_.get(), block);
}

bool OCI_IIOP_Transport_impl::wouldBlock() const {
    return !block_ && OBGetSocketError() == OBErrWouldBlock;
}

CORBA_Long OCI_IIOP_Transport_impl::moveSome(OCI_Buffer* buf, Way way) {
    CORBA_Octet* at = buf->data() + buf->pos;
    const CORBA_ULong room = buf->length() - buf->pos;
    const OBSocketHandle h = socket_.get();
    const CORBA_Long n = way == Way::In ? OBSocketRecv(h, at, room) : OBSocketSend(h, at, room);
    if (n > 0)
        buf->pos += static_cast<CORBA_ULong>(n);
    return n;
}

bool OCI_IIOP_Transport_impl::moveChunk(OCI_Buffer* buf, Way way) {
    const CORBA_Long n = moveSome(buf, way);
    if (n == 0)
        throw CORBA_COMM_FAILURE(way == Way::In ? OBMinorRecvZero : OBMinorSendZero, CORBA_COMPLETED_NO);
    if (n < 0) {
        if (wouldBlock())
            return false;
        throwSocketFailure(failureMinor(way));
    }
    return true;
}

bool OCI_IIOP_Transport_impl::waitReady(Way way, CORBA_ULong ms) {
    const OBSocketHandle h = socket_.get();
    OBSocketSet set;
    if (!set.add(h))
        throw CORBA_COMM_FAILURE("socket cannot be watched by select()", OBMinorSelect,
                                 CORBA_COMPLETED_NO);
    const OBTimeVal limit = {static_cast<CORBA_Long>(ms / 1000), static_cast<CORBA_Long>(ms % 1000 * 1000)};
    const bool forWrite = way == Way::Out;
    const CORBA_Long ready =
        OBSocketSelect(h + 1, forWrite ? nullptr : &set, forWrite ? &set : nullptr, &limit);
    if (ready < 0)
        throwSocketFailure(OBMinorSelect);
    return ready > 0;
}

void OCI_IIOP_Transport_impl::transfer(OCI_Buffer* buf, CORBA_Boolean block, Way way) {
    setBlocking(block);
    while (!buf->is_full())
        if (!moveChunk(buf, way))
            return;
}

CORBA_Boolean OCI_IIOP_Transport_impl::tryTransfer(OCI_Buffer* buf, CORBA_Boolean block, Way way) {
    setBlocking(block);
    while (!buf->is_full()) {
        const CORBA_Long n = moveSome(buf, way);
        if (n == 0)
            return false;
        if (n < 0) {
            if (OBGetSocketError() == OBErrConnReset)
                return false;
            if (wouldBlock())
                return true;
            throwSocketFailure(failureMinor(way));
        }
    }
    return true;
}

void OCI_IIOP_Transport_impl::transferWithTimeout(OCI_Buffer* buf, CORBA_ULong ms, Way way) {
    if (ms == 0) {
        transfer(buf, false, way);
        return;
    }
    setBlocking(false);
    // The limit bounds each wait, not the whole transfer.
    while (!buf->is_full())
        if (!waitReady(way, ms) || !moveChunk(buf, way))
            return;
}

void OCI_IIOP_Transport_impl::receive(OCI_Buffer* buf, CORBA_Boolean block) {
    transfer(buf, block, Way::In);
}

CORBA_Boolean OCI_IIOP_Transport_impl::try_receive(OCI_Buffer* buf, CORBA_Boolean block) {
    return tryTransfer(buf, block, Way::In);
}

void OCI_IIOP_Transport_impl::receive_with_timeout(OCI_Buffer* buf, CORBA_ULong ms) {
    transferWithTimeout(buf, ms, Way::In);
}

void OCI_IIOP_Transport_impl::send(OCI_Buffer* buf, CORBA_Boolean block) {
    transfer(buf, block, Way::Out);
}

CORBA_Boolean OCI_IIOP_Transport_impl::try_send(OCI_Buffer* buf, CORBA_Boolean block) {
    return tryTransfer(buf, block, Way::Out);
}

void OCI_IIOP_Transport_impl::send_with_timeout(OCI_Buffer* buf, CORBA_ULong ms) {
    transferWithTimeout(buf, ms, Way::Out);
}

OCI_TransportInfo* OCI_IIOP_Transport_impl::info() { return OBDuplicate(info_.in()); }

void OCI_IIOP_Transport_impl::reserved_operation(CORBA_Long) {}

void OCI_IIOP_Transport_impl::receive_some(OCI_Buffer* buf, CORBA_Boolean block) {
    setBlocking(block);
    if (!buf->is_full())
        moveChunk(buf, Way::In);
}

// --- connector -------------------------------------------------------------------

OCI_IIOP_Connector_impl::OCI_IIOP_Connector_impl(const char* host, CORBA_UShort port)
    : host_(host), port_(port), addr_(zeroedAddress(port)) {
    OB_CHECK_COMPLIANT(host, OBNCNullString);
    resolve_host(host_.in(), addr_);
    info_ = new OCI_IIOP_ConnectorInfo_impl(addr_, port_);
}

OCI_ProfileId OCI_IIOP_Connector_impl::tag() { return IOP_TAG_INTERNET_IOP; }

void OCI_IIOP_Connector_impl::close() { socket_.reset(); }

OCI_Transport* OCI_IIOP_Connector_impl::connect() { return connect_timeout(-1); }

OCI_Transport* OCI_IIOP_Connector_impl::connect_timeout(CORBA_Long ms) {
    close();
    socket_ = OBSocket(OBSocketOpen());
    if (socket_.get() == OBNoSocket)
        throwSocketFailure(OBMinorSocket);
    if (!OBSocketSetNoDelay(socket_.get()))
        closeAndThrow(socket_, OBMinorSetsockopt);
    const bool done = ms < 0 ? OBSocketConnect(socket_.get(), addr_)
                             : OBSocketConnectWithin(socket_.get(), addr_, static_cast<CORBA_ULong>(ms));
    if (!done)
        closeAndThrow(socket_, OBMinorConnect);
    // The connection is the transport's, or closed when none can be made.
    OBSocket connected(std::move(socket_));
    OBObjVar<OCI_IIOP_Transport_impl> transport(
        new OCI_IIOP_Transport_impl(std::move(connected), info_.in(), nullptr));
    OBObjVar<OCI_TransportInfo> transportInfo(transport->info());
    // A failing callback releases the transport, which closes the socket.
    info_->call_connect_callbacks(transportInfo.in());
    return transport._retn();
}

bool OCI_IIOP_Connector_impl::namesEndpoint(const IIOP_ProfileBody& body) {
    if (body.port != port_)
        return false;
    if (std::strcmp(body.host.in(), host_.in()) == 0)
        return true;
    sockaddr_in other = zeroedAddress(0);
    resolve_host(body.host.in(), other);
    return other.sin_addr.s_addr == addr_.sin_addr.s_addr;
}

bool OCI_IIOP_Connector_impl::findEndpoint(const IOP_IOR& ior, bool unresolvedIsMismatch,
                                           IIOP_ProfileBody& body) {
    // Decoded one at a time: profiles behind the match are never looked at.
    for (CORBA_ULong i = 0; i < ior.profiles.length(); ++i) {
        if (ior.profiles[i].tag != IOP_TAG_INTERNET_IOP)
            continue;
        OBDecodeIIOPProfile(ior.profiles[i], body);
        try {
            if (namesEndpoint(body))
                return true;
        } catch (const CORBA_COMM_FAILURE&) {
            if (!unresolvedIsMismatch)
                throw;
        }
    }
    return false;
}

CORBA_Boolean OCI_IIOP_Connector_impl::serves_ior(const IOP_IOR& ior) {
    // A host that does not resolve is not this endpoint.
    IIOP_ProfileBody body;
    return findEndpoint(ior, true, body);
}

CORBA_Boolean OCI_IIOP_Connector_impl::serves_ior_with_policies(const IOP_IOR& ior,
                                                                const CORBA_PolicyList& policies) {
    return OBConnectPolicyAllows(policies) && serves_ior(ior);
}

CORBA_OctetSeq OCI_IIOP_Connector_impl::object_key_for(const IOP_IOR& ior) {
    IIOP_ProfileBody body;
    return findEndpoint(ior, false, body) ? body.object_key : CORBA_OctetSeq();
}

OCI_ConnectorInfo* OCI_IIOP_Connector_impl::info() { return OBDuplicate(info_.in()); }

void OCI_IIOP_Connector_impl::reserved_operation(CORBA_Long) {}

OCI_Handle OCI_IIOP_Connector_impl::handle() { return socket_.get(); }

// --- acceptor --------------------------------------------------------------------

OCI_IIOP_Acceptor_impl::OCI_IIOP_Acceptor_impl(const char* host, CORBA_UShort port)
    : host_(host), port_(port), socket_(OBSocketOpen()) {
    OB_CHECK_COMPLIANT(host, OBNCNullString);
    sockaddr_in addr = zeroedAddress(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (socket_.get() == OBNoSocket)
        throwSocketFailure(OBMinorSocket);
    if (!OBSocketSetNoDelay(socket_.get()) || !OBSocketSetReuseAddr(socket_.get()))
        closeAndThrow(socket_, OBMinorSetsockopt);
    if (!OBSocketBind(socket_.get(), addr))
        closeAndThrow(socket_, OBMinorBind);
    const bool result = OBSocketLocalAddress(socket_.get(), addr);
    OB_ASSERT_NAMED(result, "result != -1");
    port_ = ntohs(addr.sin_port);
    info_ = new OCI_IIOP_AcceptorInfo_impl(addr);
}

OCI_ProfileId OCI_IIOP_Acceptor_impl::tag() { return IOP_TAG_INTERNET_IOP; }

OCI_Handle OCI_IIOP_Acceptor_impl::handle() { return socket_.get(); }

void OCI_IIOP_Acceptor_impl::close() { socket_.reset(); }

void OCI_IIOP_Acceptor_impl::listen() {
    if (!OBSocketListen(socket_.get(), 5))
        throwSocketFailure(OBMinorListen);
}

OCI_Transport* OCI_IIOP_Acceptor_impl::accept() {
    OBSocket accepted(OBSocketAccept(socket_.get()));
    if (accepted.get() == OBNoSocket)
        throwSocketFailure(OBMinorAccept);
    if (!OBSocketSetNoDelay(accepted.get()))
        closeAndThrow(accepted, OBMinorSetsockopt);
    OBObjVar<OCI_IIOP_Transport_impl> transport(
        new OCI_IIOP_Transport_impl(std::move(accepted), nullptr, info_.in()));
    OBObjVar<OCI_TransportInfo> transportInfo(transport->info());
    info_->call_accept_callbacks(transportInfo.in());
    return transport._retn();
}

OCI_AcceptorInfo* OCI_IIOP_Acceptor_impl::info() { return OBDuplicate(info_.in()); }

// --- connector factory -------------------------------------------------------------

OCI_ProfileId OCI_IIOP_ConFactory_impl::tag() { return IOP_TAG_INTERNET_IOP; }

OCI_Connector* OCI_IIOP_ConFactory_impl::create_connector(const IOP_IOR& ior) {
    for (CORBA_ULong i = 0; i < ior.profiles.length(); ++i) {
        if (ior.profiles[i].tag != IOP_TAG_INTERNET_IOP)
            continue;
        // Only the first IIOP profile is used, usable or not.
        IIOP_ProfileBody body;
        OBDecodeIIOPProfile(ior.profiles[i], body);
        return new OCI_IIOP_Connector_impl(body.host.in(), body.port);
    }
    return nullptr;
}

OCI_Connector* OCI_IIOP_ConFactory_impl::create_connector_with_policies(const IOP_IOR& ior,
                                                                        const CORBA_PolicyList& policies) {
    return accepts_ior(ior, policies) ? create_connector(ior) : nullptr;
}

CORBA_Boolean OCI_IIOP_ConFactory_impl::accepts_ior(const IOP_IOR& ior, const CORBA_PolicyList& policies) {
    bool tagged = false;
    for (CORBA_ULong i = 0; i < ior.profiles.length() && !tagged; ++i)
        tagged = ior.profiles[i].tag == tag();
    return tagged && OBConnectPolicyAllows(policies);
}

CORBA_Boolean OCI_IIOP_ConFactory_impl::equivalent(const IOP_IOR& a, const IOP_IOR& b) {
    return iiop_ior_equivalent(a, b);
}

bool iiop_ior_equivalent(const IOP_IOR& a, const IOP_IOR& b) {
    const OBVarSeq<IIOP_ProfileBody> first = OBDecodeIIOPProfiles(a);
    const OBVarSeq<IIOP_ProfileBody> second = OBDecodeIIOPProfiles(b);
    for (CORBA_ULong i = 0; i < first.length(); ++i)
        for (CORBA_ULong j = 0; j < second.length(); ++j)
            if (equivalentBodies(first[i], second[j]))
                return true;
    return false;
}
