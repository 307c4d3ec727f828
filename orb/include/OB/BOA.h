// The object adapter as far as this client ORB needs it: BOA_init's options
// and the host the adapter would publish in its references. It keeps no
// objects and opens no acceptor. One adapter exists per process at a time.
#ifndef OB_BOA_H
#define OB_BOA_H

#include <OB/Net.h>
#include <OB/ORB.h>

// Settings of the object adapter, as BOA_init chose them.
struct OBBOASettings {
    CORBA_String_var host;           // host name or dotted address to publish
    CORBA_UShort port = 0;           // listening port; 0 lets the system choose
    bool numeric = false;            // "-OAnumeric": publish a dotted address
    bool iiopAcceptor = true;        // false after "-OAdisable_iiop_acceptor"
    bool reactive = false;           // server-side concurrency model ("-OAreactive")
};

class CORBA_BOA : public OBSimpleRefCount {
public:
    // Becomes the process's adapter (no other may exist).
    explicit CORBA_BOA(const OBBOASettings& settings);
    // No adapter remains.
    ~CORBA_BOA() override;

    // The process's adapter (not counted), or nil.
    static CORBA_BOA* _OB_instance();

    const OBBOASettings& _OB_settings() const { return settings_; }

    // Would give obj (a reference without client) an IOR of this adapter.
    // This adapter serves no objects: CORBA_NO_IMPLEMENT, minor 0, COMPLETED_NO.
    void _OB_export(CORBA_Object* obj);

private:
    OBBOASettings settings_;
};

typedef OBObjVar<CORBA_BOA> CORBA_BOA_var;

// The host to publish when "-OAhost" was not given: getName, then lookup
// (retried while it fails with OBErrTryAgain, OBLookupHost). An official name
// containing "." is published unless numeric; otherwise the first address in
// dotted notation, with a warning when not numeric. A lookup failing with
// OBErrNoData gives "localhost" ("127.0.0.1" when numeric) and a warning.
// CORBA_COMM_FAILURE minor OBMinorGethostname when getName fails and minor
// OBMinorGethostbyname for any other lookup failure (COMPLETED_NO, socket
// error text). A new guarded string.
char* OBPublishedHost(bool numeric, bool (*getName)(char*, CORBA_ULong) = OBGetHostName,
                      OBHostLookup lookup = OBGetHostByName);

#endif
