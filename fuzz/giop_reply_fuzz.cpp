// A received GIOP message: the peer's octets go through the blocking client
// worker's real receive loop (message header, body, message step, reply
// list) and the Reply it hands out is read as the caller would read each
// status: a result, a user exception's id, a system exception, or the IOR of
// a location forward.
//
// Input: two request ids (4 octets each, this host's order) that the caller
// waits for in turn, then the stream the peer sends. The transport is an
// in-memory stand-in behind the OCI interface, so no socket is involved.
#include <OB/GIOPClientWorker.h>
#include <OB/IOP.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Hands out the peer's octets; once they run out the peer has closed.
class StreamTransport : public virtual OCI_Transport {
public:
    StreamTransport(const uint8_t* data, size_t size) : data_(data), left_(size) {}

    OCI_ProfileId tag() override { return 0; }
    OCI_Handle handle() override { return -1; }
    CORBA_Long reserved_attribute() override { return 0; }
    void close() override {}
    void receive(OCI_Buffer* buf, CORBA_Boolean) override {
        if (!fill(buf))
            throw CORBA_COMM_FAILURE("", OBMinorRecvZero, CORBA_COMPLETED_NO);
    }
    CORBA_Boolean try_receive(OCI_Buffer* buf, CORBA_Boolean) override { return fill(buf); }
    void receive_with_timeout(OCI_Buffer* buf, CORBA_ULong) override { fill(buf); }
    void send(OCI_Buffer* buf, CORBA_Boolean) override { buf->pos = buf->length(); }
    CORBA_Boolean try_send(OCI_Buffer* buf, CORBA_Boolean) override {
        buf->pos = buf->length();
        return true;
    }
    void send_with_timeout(OCI_Buffer* buf, CORBA_ULong) override { buf->pos = buf->length(); }
    OCI_TransportInfo* info() override { return nullptr; }
    void reserved_operation(CORBA_Long) override {}
    // One segment of what is left, its size taken from the data itself, so
    // that messages split and share segments in every way.
    void receive_some(OCI_Buffer* buf, CORBA_Boolean) override {
        if (buf->is_full())
            return;
        if (left_ == 0)
            throw CORBA_COMM_FAILURE("", OBMinorRecvZero, CORBA_COMPLETED_NO);
        fill(buf, 1 + data_[0] % 97u);
    }

private:
    // Copies what is left, at most limit octets, into buf; true when buf is full.
    bool fill(OCI_Buffer* buf, size_t limit = SIZE_MAX) {
        size_t want = buf->length() - buf->pos;
        if (want > limit)
            want = limit;
        const size_t n = want < left_ ? want : left_;
        if (n) {
            std::memcpy(buf->data() + buf->pos, data_, n);
            buf->pos += static_cast<CORBA_ULong>(n);
            data_ += n;
            left_ -= n;
        }
        return buf->is_full();
    }

    const uint8_t* data_;
    size_t left_;
};

// Reads the reply body as the caller of a request would for its status.
void readOutcome(const OBBuffer& reply, CORBA_ULong offset, bool swap, CORBA_ULong status) {
    OBInCursor in = OBMakeInCursor(reply, offset);
    try {
        switch (status) {
        case OBGIOPNoException: {
            CORBA_ULong result = 0;
            OBRead(result, in, swap);
            break;
        }
        case OBGIOPUserException: {
            CORBA_String_var id;
            OBRead(id, in, swap);
            break;
        }
        case OBGIOPSystemException: {
            const std::unique_ptr<CORBA_SystemException> e = OBReadSystemException(in, swap);
            CORBA_string_free(OBExceptionText(*e));
            break;
        }
        case OBGIOPLocationForward: {
            IOP_IOR forwarded;
            OBRead(forwarded, in, swap);
            for (CORBA_ULong i = 0; i < forwarded.profiles.length(); ++i) {
                IIOP_ProfileBody body;
                if (forwarded.profiles[i].tag == IOP_TAG_INTERNET_IOP)
                    OBDecodeIIOPProfile(forwarded.profiles[i], body);
            }
            CORBA_string_free(OBIORToString(forwarded));
            break;
        }
        default:
            break;
        }
    } catch (const CORBA_SystemException&) {
        // Bad reply bodies raise; that is the outcome the caller sees.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CORBA_ULong ids[2];
    if (size < sizeof ids)
        return 0;
    std::memcpy(ids, data, sizeof ids);
    OBObjVar<OBGIOPClientWorker> worker =
        new OBGIOPClientWorker(nullptr, new StreamTransport(data + sizeof ids, size - sizeof ids));
    for (CORBA_ULong id : ids) {
        OBBuffer reply;
        bool swap = false;
        CORBA_ULong status = 0;
        CORBA_ULong offset = 0;
        try {
            offset = worker->receive_reply(id, reply, swap, status, -1);
        } catch (const CORBA_COMM_FAILURE&) {
            return 0;
        }
        readOutcome(reply, offset, swap, status);
    }
    return 0;
}
