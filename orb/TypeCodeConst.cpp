// The process-wide TypeCode constants: basic kinds, the unbounded string,
// CORBA::Object, the standard system exceptions and the stored constants.
#include <OB/Any.h>
#include <OB/TypeCode.h>

#include <cstring>

#define OB_OMG_ID(PATH) "IDL:omg.org/CORBA/" PATH ":1.0"

OBTypeCodeBasicConst CORBA__tc_null(CORBA_tk_null);
OBTypeCodeBasicConst CORBA__tc_void(CORBA_tk_void);
OBTypeCodeBasicConst CORBA__tc_short(CORBA_tk_short);
OBTypeCodeBasicConst CORBA__tc_long(CORBA_tk_long);
OBTypeCodeBasicConst CORBA__tc_ushort(CORBA_tk_ushort);
OBTypeCodeBasicConst CORBA__tc_ulong(CORBA_tk_ulong);
OBTypeCodeBasicConst CORBA__tc_float(CORBA_tk_float);
OBTypeCodeBasicConst CORBA__tc_double(CORBA_tk_double);
OBTypeCodeBasicConst CORBA__tc_boolean(CORBA_tk_boolean);
OBTypeCodeBasicConst CORBA__tc_char(CORBA_tk_char);
OBTypeCodeBasicConst CORBA__tc_octet(CORBA_tk_octet);
OBTypeCodeBasicConst CORBA__tc_any(CORBA_tk_any);
OBTypeCodeBasicConst CORBA__tc_TypeCode(CORBA_tk_TypeCode);
OBTypeCodeBasicConst CORBA__tc_Principal(CORBA_tk_Principal);
OBTypeCodeStringConst CORBA__tc_string;
OBTypeCodeObjectConst CORBA__tc_Object;

#define OB_DEFINE_SYSEX_TC(NAME) OBTypeCodeSysExConst CORBA__tc_##NAME(#NAME);
OB_STANDARD_SYSTEM_EXCEPTIONS(OB_DEFINE_SYSEX_TC)
#undef OB_DEFINE_SYSEX_TC

// The constants keep their TypeCode (one reference) for the rest of the
// process: other constants and static objects may still use it at exit.

OBTypeCodeBasicConst::operator CORBA_TypeCode*() const {
    if (!tc_) {
        OB_ASSERT(kind_ <= CORBA_tk_Principal);
        tc_ = new CORBA_TypeCode(kind_);
    }
    return tc_;
}

OBTypeCodeStringConst::operator CORBA_TypeCode*() const {
    if (!tc_)
        tc_ = new CORBA_TypeCode(CORBA_tk_string);
    return tc_;
}

OBTypeCodeObjectConst::operator CORBA_TypeCode*() const {
    if (!tc_) {
        CORBA_TypeCode* tc = new CORBA_TypeCode(CORBA_tk_objref);
        tc->id_ = OB_OMG_ID("Object");
        tc->name_ = "Object";
        tc_ = tc;
    }
    return tc_;
}

CORBA_TypeCode* OBBasicTypeCode(CORBA_TCKind k) {
    static OBTypeCodeBasicConst* const basics[] = {
        &CORBA__tc_null,  &CORBA__tc_void,  &CORBA__tc_short,   &CORBA__tc_long, &CORBA__tc_ushort,
        &CORBA__tc_ulong, &CORBA__tc_float, &CORBA__tc_double,  &CORBA__tc_boolean, &CORBA__tc_char,
        &CORBA__tc_octet, &CORBA__tc_any,   &CORBA__tc_TypeCode, &CORBA__tc_Principal};
    OB_ASSERT(k <= CORBA_tk_Principal);
    return *basics[k];
}

// --- system exceptions -------------------------------------------------------------

namespace {

// enum CORBA::CompletionStatus, shared by all system exception TypeCodes.
CORBA_TypeCode* completionStatusType() {
    static CORBA_TypeCode* tc = [] {
        CORBA_TypeCode* t = new CORBA_TypeCode(CORBA_tk_enum);
        t->id_ = OB_OMG_ID("CompletionStatus");
        t->name_ = "CompletionStatus";
        t->memberNames_.length(3);
        t->memberNames_[0] = "COMPLETED_YES";
        t->memberNames_[1] = "COMPLETED_NO";
        t->memberNames_[2] = "COMPLETED_MAYBE";
        return t;
    }();
    return tc;
}

struct SysExEntry {
    const char* id;
    OBTypeCodeSysExConst* tc;
};

const SysExEntry sysExTable[] = {
#define OB_SYSEX_ENTRY(NAME) {OB_OMG_ID(#NAME), &CORBA__tc_##NAME},
    OB_STANDARD_SYSTEM_EXCEPTIONS(OB_SYSEX_ENTRY)
#undef OB_SYSEX_ENTRY
};

const SysExEntry* findSysEx(const char* id) {
    for (const SysExEntry& e : sysExTable)
        if (id && std::strcmp(e.id, id) == 0)
            return &e;
    return nullptr;
}

}  // namespace

OBTypeCodeSysExConst::operator CORBA_TypeCode*() const {
    if (!tc_) {
        CORBA_TypeCode_var tc(new CORBA_TypeCode(CORBA_tk_except));
        CORBA_String_var id("IDL:omg.org/CORBA/");
        id += name_;
        id += ":1.0";
        tc->id_ = id;
        tc->name_ = name_;
        tc->memberNames_.length(2);
        tc->memberNames_[0] = "minor";
        tc->memberNames_[1] = "completed";
        tc->memberTypes_.length(2);
        tc->memberTypes_[0] = OBDuplicate<CORBA_TypeCode>(CORBA__tc_ulong);
        tc->memberTypes_[1] = OBDuplicate(completionStatusType());
        tc_ = tc._retn();
    }
    return tc_;
}

bool OBIsSystemExceptionType(CORBA_TypeCode* tc) {
    return tc->kind_ == CORBA_tk_except && findSysEx(tc->id_.in()) != nullptr;
}

CORBA_TypeCode* OBSystemExceptionType(const char* id) {
    const SysExEntry* e = findSysEx(id);
    return e ? static_cast<CORBA_TypeCode*>(*e->tc) : nullptr;
}

// --- stored constants ---------------------------------------------------------------

OBTypeCodeConst::operator CORBA_TypeCode*() const {
    if (!tc_) {
        OB_ASSERT(str_ != 0);
        OBBuffer octets;
        if (!OBHexDecode(str_, octets))
            throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
        OBInCursor in = OBMakeInCursor(octets);
        CORBA_Octet flag;
        OBRead(flag, in, false);
        CORBA_TypeCode_var tc;
        OBRead(tc, in, OBByteOrderSwap(flag));
        tc_ = tc._retn();
    }
    return tc_;
}
