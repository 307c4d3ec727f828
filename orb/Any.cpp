// CORBA_Any: representation of values, insertion, extraction and CDR.
#include "AnyValue.h"

#include <OB/ORB.h>

#include <cstring>
#include <memory>

OBConstructedInfo::~OBConstructedInfo() = default;

namespace {

// How an Any holds a value of a given type.
enum class Rep {
    None, Short, Long, Float, Double, Octet, Any, TypeCode, Principal, Object, String, SysEx, Info, Buffer
};

// The value is an object with a reference count, inserted as a new reference.
bool isCounted(Rep rep) { return rep == Rep::TypeCode || rep == Rep::Principal; }

Rep repOf(CORBA_TypeCode* tc, const OBConstructedInfo* info) {
    CORBA_TypeCode* t = tc->_OB_getOrigType();
    switch (t->kind_) {
    case CORBA_tk_null:
    case CORBA_tk_void:
        return Rep::None;
    case CORBA_tk_short:
    case CORBA_tk_ushort:
        return Rep::Short;
    case CORBA_tk_long:
    case CORBA_tk_ulong:
    case CORBA_tk_enum:
        return Rep::Long;
    case CORBA_tk_float:
        return Rep::Float;
    case CORBA_tk_double:
        return Rep::Double;
    case CORBA_tk_boolean:
    case CORBA_tk_char:
    case CORBA_tk_octet:
        return Rep::Octet;
    case CORBA_tk_any:
        return Rep::Any;
    case CORBA_tk_TypeCode:
        return Rep::TypeCode;
    case CORBA_tk_Principal:
        return Rep::Principal;
    case CORBA_tk_objref:
        return Rep::Object;
    case CORBA_tk_string:
        return Rep::String;
    default:  // struct, union, sequence, array, except
        if (OBIsSystemExceptionType(t))
            return Rep::SysEx;
        return info ? Rep::Info : Rep::Buffer;
    }
}

void freeRep(Rep rep, void* v, const OBConstructedInfo* info) {
    switch (rep) {
    case Rep::None:
        break;
    case Rep::Short:
        delete static_cast<CORBA_UShort*>(v);
        break;
    case Rep::Long:
        delete static_cast<CORBA_ULong*>(v);
        break;
    case Rep::Float:
        delete static_cast<CORBA_Float*>(v);
        break;
    case Rep::Double:
        delete static_cast<CORBA_Double*>(v);
        break;
    case Rep::Octet:
        delete static_cast<CORBA_Octet*>(v);
        break;
    case Rep::Any:
        delete static_cast<CORBA_Any*>(v);
        break;
    case Rep::TypeCode:
        CORBA_release(static_cast<CORBA_TypeCode*>(v));
        break;
    case Rep::Principal:
        CORBA_release(static_cast<CORBA_Principal*>(v));
        break;
    case Rep::Object:
        delete static_cast<OBAnyObject*>(v);
        break;
    case Rep::String:
        CORBA_string_free(static_cast<char*>(v));
        break;
    case Rep::SysEx:
        delete static_cast<CORBA_SystemException*>(v);
        break;
    case Rep::Info:
        info->free(v);
        break;
    case Rep::Buffer:
        delete static_cast<OBBuffer*>(v);
        break;
    }
}

void* copyRep(Rep rep, const void* v, const OBConstructedInfo* info) {
    if (!v)
        return nullptr;
    switch (rep) {
    case Rep::None:
        return nullptr;
    case Rep::Short:
        return new CORBA_UShort(*static_cast<const CORBA_UShort*>(v));
    case Rep::Long:
        return new CORBA_ULong(*static_cast<const CORBA_ULong*>(v));
    case Rep::Float:
        return new CORBA_Float(*static_cast<const CORBA_Float*>(v));
    case Rep::Double:
        return new CORBA_Double(*static_cast<const CORBA_Double*>(v));
    case Rep::Octet:
        return new CORBA_Octet(*static_cast<const CORBA_Octet*>(v));
    case Rep::Any:
        return new CORBA_Any(*static_cast<const CORBA_Any*>(v));
    case Rep::TypeCode:
        return OBDuplicate(static_cast<CORBA_TypeCode*>(const_cast<void*>(v)));
    case Rep::Principal:
        return OBDuplicate(static_cast<CORBA_Principal*>(const_cast<void*>(v)));
    case Rep::Object:
        return new OBAnyObject(*static_cast<const OBAnyObject*>(v));
    case Rep::String:
        return CORBA_string_dup(static_cast<const char*>(v));
    case Rep::SysEx:
        return static_cast<const CORBA_SystemException*>(v)->_OB_clone();
    case Rep::Info:
        return info->dup(v);
    case Rep::Buffer: {
        const OBBuffer* b = static_cast<const OBBuffer*>(v);
        std::unique_ptr<OBBuffer> copy(new OBBuffer(b->len));
        if (b->len > 0)
            std::memcpy(copy->data, b->data, b->len);
        return copy.release();
    }
    }
    return nullptr;
}

// A new static value held by info, converted from its CDR form in b (native order).
void* fromBuffer(const OBBuffer& b, const OBConstructedInfo* info) {
    void* value = info->create();
    try {
        OBInCursor in = OBMakeInCursor(b);
        info->unmarshal(value, in, false);
    } catch (...) {
        info->free(value);
        throw;
    }
    return value;
}

// The native CDR form of a static value, aligned from the buffer's start.
OBBuffer* toBuffer(const void* value, const OBConstructedInfo* info) {
    CORBA_ULong n = 0;
    info->count(value, n);
    std::unique_ptr<OBBuffer> b(new OBBuffer(n));
    CORBA_Octet* cursor = b->data;
    info->marshal(value, cursor);
    OB_ASSERT(cursor == b->data + n);
    return b.release();
}

}  // namespace

// --- life cycle -------------------------------------------------------------------

CORBA_Any::CORBA_Any()
    : type_(OBDuplicate<CORBA_TypeCode>(CORBA__tc_null)), value_(nullptr), release_(false), info_(nullptr) {}

CORBA_Any::CORBA_Any(const CORBA_Any& other) : CORBA_Any() {
    *this = other;
}

CORBA_Any::CORBA_Any(CORBA_TypeCode* tc, void* value, CORBA_Boolean release) : CORBA_Any() {
    replace(tc, value, release);
}

CORBA_Any::~CORBA_Any() {
    freeValue();
    CORBA_release(type_);
}

CORBA_Any& CORBA_Any::operator=(const CORBA_Any& other) {
    if (this != &other) {
        void* copy = copyRep(repOf(other.type_, other.info_), other.value_, other.info_);
        replace(other.type_, copy, true, other.info_);
    }
    return *this;
}

void CORBA_Any::freeValue() {
    if (release_ && value_)
        freeRep(repOf(type_, info_), value_, info_);
    value_ = nullptr;
}

void CORBA_Any::replace(CORBA_TypeCode* tc, void* val, CORBA_Boolean release, OBConstructedInfo* info) {
    OB_ASSERT(!CORBA_is_nil(tc));
    // A counted object inserted twice is the same pointer, yet a new reference.
    if (release_ && !isCounted(repOf(type_, info_)))
        OB_CHECK_COMPLIANT(value_ == 0 || value_ != val, OBNCAnySelfReplace);
    OBDuplicate(tc);
    freeValue();
    CORBA_release(type_);
    type_ = tc;
    value_ = val;
    release_ = release;
    info_ = info;
}

CORBA_TypeCode* CORBA_Any::type() const {
    return OBDuplicate(type_);
}

void CORBA_Any::insert(CORBA_TypeCode* tc, void* value, OBConstructedInfo* info) {
    replace(tc, value, true, info);
}

// --- insertion ------------------------------------------------------------------------

void CORBA_Any::operator<<=(CORBA_Short v) { insert(CORBA__tc_short, new CORBA_Short(v)); }
void CORBA_Any::operator<<=(CORBA_UShort v) { insert(CORBA__tc_ushort, new CORBA_UShort(v)); }
void CORBA_Any::operator<<=(CORBA_Long v) { insert(CORBA__tc_long, new CORBA_Long(v)); }
void CORBA_Any::operator<<=(CORBA_ULong v) { insert(CORBA__tc_ulong, new CORBA_ULong(v)); }
void CORBA_Any::operator<<=(CORBA_Float v) { insert(CORBA__tc_float, new CORBA_Float(v)); }
void CORBA_Any::operator<<=(CORBA_Double v) { insert(CORBA__tc_double, new CORBA_Double(v)); }
void CORBA_Any::operator<<=(from_boolean v) { insert(CORBA__tc_boolean, new CORBA_Octet(v.val ? 1 : 0)); }
void CORBA_Any::operator<<=(from_octet v) { insert(CORBA__tc_octet, new CORBA_Octet(v.val)); }
void CORBA_Any::operator<<=(from_char v) {
    insert(CORBA__tc_char, new CORBA_Octet(static_cast<CORBA_Octet>(v.val)));
}

void CORBA_Any::operator<<=(const char* s) {
    OB_CHECK_COMPLIANT(s, OBNCNullString);
    insert(CORBA__tc_string, CORBA_string_dup(s));
}

void CORBA_Any::operator<<=(from_string s) {
    OB_CHECK_COMPLIANT(s.val, OBNCNullString);
    CORBA_TypeCode_var tc(CORBA_ORB::create_string_tc(s.bound));
    insert(tc, s.adopt ? s.val : CORBA_string_dup(s.val));
}

void CORBA_Any::operator<<=(CORBA_Object* obj) {
    std::unique_ptr<OBAnyObject> held(new OBAnyObject);
    held->object = OBDuplicate(obj);
    insert(CORBA__tc_Object, held.release());
}

void CORBA_Any::operator<<=(CORBA_Object** obj) {
    std::unique_ptr<OBAnyObject> held(new OBAnyObject);
    held->object = *obj;
    insert(CORBA__tc_Object, held.release());
}

void CORBA_Any::operator<<=(CORBA_TypeCode* tc) {
    OB_ASSERT(!CORBA_is_nil(tc));
    insert(CORBA__tc_TypeCode, OBDuplicate(tc));
}

void CORBA_Any::operator<<=(CORBA_TypeCode** tc) {
    OB_ASSERT(!CORBA_is_nil(*tc));
    insert(CORBA__tc_TypeCode, *tc);
}

void CORBA_Any::operator<<=(const CORBA_Any& a) { insert(CORBA__tc_any, new CORBA_Any(a)); }

void CORBA_Any::operator<<=(CORBA_Any* a) {
    OB_ASSERT(a);
    insert(CORBA__tc_any, a);
}

// --- extraction -------------------------------------------------------------------------

template<class T> CORBA_Boolean CORBA_Any::extractBasic(CORBA_TypeCode* tc, T& v) const {
    if (!type_->equal(tc) || !value_)
        return false;
    std::memcpy(&v, value_, sizeof(T));
    return true;
}

CORBA_Boolean CORBA_Any::operator>>=(CORBA_Short& v) const { return extractBasic(CORBA__tc_short, v); }
CORBA_Boolean CORBA_Any::operator>>=(CORBA_UShort& v) const { return extractBasic(CORBA__tc_ushort, v); }
CORBA_Boolean CORBA_Any::operator>>=(CORBA_Long& v) const { return extractBasic(CORBA__tc_long, v); }
CORBA_Boolean CORBA_Any::operator>>=(CORBA_ULong& v) const { return extractBasic(CORBA__tc_ulong, v); }
CORBA_Boolean CORBA_Any::operator>>=(CORBA_Float& v) const { return extractBasic(CORBA__tc_float, v); }
CORBA_Boolean CORBA_Any::operator>>=(CORBA_Double& v) const { return extractBasic(CORBA__tc_double, v); }
CORBA_Boolean CORBA_Any::operator>>=(to_boolean v) const { return extractBasic(CORBA__tc_boolean, v.ref); }
CORBA_Boolean CORBA_Any::operator>>=(to_octet v) const { return extractBasic(CORBA__tc_octet, v.ref); }
CORBA_Boolean CORBA_Any::operator>>=(to_char v) const { return extractBasic(CORBA__tc_char, v.ref); }

CORBA_Boolean CORBA_Any::operator>>=(const char*& s) const {
    return *this >>= to_string(s, 0);
}

CORBA_Boolean CORBA_Any::operator>>=(to_string s) const {
    const CORBA_TypeCode* t = type_->_OB_getOrigType();
    if (t->kind_ != CORBA_tk_string || t->length_ != s.bound || !value_)
        return false;
    s.ref = static_cast<const char*>(value_);
    return true;
}

CORBA_Boolean CORBA_Any::operator>>=(CORBA_Object*& obj) const {
    if (!type_->equal(CORBA__tc_Object) || !value_)
        return false;
    obj = static_cast<OBAnyObject*>(value_)->object.in();
    return true;
}

CORBA_Boolean CORBA_Any::operator>>=(to_object obj) const {
    if (type_->_OB_getOrigType()->kind_ != CORBA_tk_objref || !value_)
        return false;
    obj.ref = static_cast<OBAnyObject*>(value_)->object.in();
    return true;
}

CORBA_Boolean CORBA_Any::operator>>=(CORBA_TypeCode*& tc) const {
    if (!type_->equal(CORBA__tc_TypeCode) || !value_)
        return false;
    tc = static_cast<CORBA_TypeCode*>(value_);
    return true;
}

CORBA_Boolean CORBA_Any::operator>>=(const CORBA_Any*& a) const {
    if (!type_->equal(CORBA__tc_any) || !value_)
        return false;
    a = static_cast<const CORBA_Any*>(value_);
    return true;
}

const CORBA_SystemException* CORBA_Any::extractSysEx(CORBA_TypeCode* tc) const {
    if (!type_->equal(tc) || !value_ || repOf(type_, info_) != Rep::SysEx)
        return nullptr;
    return static_cast<const CORBA_SystemException*>(value_);
}

#define OB_ANY_SYSEX(NAME)                                                           \
    void CORBA_Any::operator<<=(const CORBA_##NAME& e) { insert(CORBA__tc_##NAME, e._OB_clone()); } \
    void CORBA_Any::operator<<=(CORBA_##NAME* e) {                                   \
        OB_ASSERT(e);                                                                \
        insert(CORBA__tc_##NAME, e);                                                 \
    }                                                                                \
    CORBA_Boolean CORBA_Any::operator>>=(const CORBA_##NAME*& e) const {             \
        const CORBA_##NAME* p = CORBA_##NAME::_narrow(extractSysEx(CORBA__tc_##NAME)); \
        if (p)                                                                       \
            e = p;                                                                   \
        return p != nullptr;                                                         \
    }
OB_STANDARD_SYSTEM_EXCEPTIONS(OB_ANY_SYSEX)
#undef OB_ANY_SYSEX

const void* CORBA_Any::_OB_constructed(CORBA_TypeCode* tc, OBConstructedInfo* info) const {
    if (!type_->equal(tc) || !value_)
        return nullptr;
    const Rep rep = repOf(type_, info_);
    if (rep == Rep::Info && info_ == info)
        return value_;
    if (rep != Rep::Info && rep != Rep::Buffer)
        return nullptr;
    // Another static type of the same IDL type, or the CDR form: convert.
    std::unique_ptr<OBBuffer> owned(rep == Rep::Info ? toBuffer(value_, info_) : nullptr);
    const OBBuffer& cdr = owned ? *owned : *static_cast<const OBBuffer*>(value_);
    void* converted = fromBuffer(cdr, info);
    if (release_)
        freeRep(rep, value_, info_);
    value_ = converted;
    info_ = info;
    release_ = true;
    return value_;
}

CORBA_Boolean CORBA_Any::_OB_narrowed(CORBA_TypeCode* tc, CORBA_Object* (*narrow)(CORBA_Object*),
                                      CORBA_Object*& out) const {
    if (!type_->equal(tc) || !value_)
        return false;
    OBAnyObject* held = static_cast<OBAnyObject*>(value_);
    if (CORBA_is_nil(held->object.in())) {
        out = nullptr;
        return true;
    }
    held->narrowed = narrow(held->object.in());
    out = held->narrowed.in();
    return true;
}

// --- CDR ------------------------------------------------------------------------------

void OBCount(CORBA_Principal* p, CORBA_ULong& count) {
    OBCount(p ? p->octets : CORBA_OctetSeq(), count);
}

void OBWrite(CORBA_Principal* p, CORBA_Octet*& cursor) {
    OBWrite(p ? p->octets : CORBA_OctetSeq(), cursor);
}

void OBRead(CORBA_Principal_var& p, OBInCursor& in, bool swap) {
    CORBA_Principal_var read(new CORBA_Principal);
    OBRead(read->octets, in, swap);
    p = read._retn();
}

namespace {

template<class Sink> void putValue(const CORBA_Any& any, Sink& sink);

struct AnyCountSink {
    CORBA_ULong& count;
    template<class T> void put(const T& v) { OBCount(v, count); }
    void cdr(CORBA_TypeCode* tc, const OBBuffer& b) {
        OBInCursor in = OBMakeInCursor(b);
        OBCountValue(tc, in, false, count);
    }
    void info(const OBConstructedInfo* i, const void* v) { i->count(v, count); }
};

struct AnyWriteSink {
    CORBA_Octet*& cursor;
    template<class T> void put(const T& v) { OBWrite(v, cursor); }
    void cdr(CORBA_TypeCode* tc, const OBBuffer& b) {
        OBInCursor in = OBMakeInCursor(b);
        OBCopyValue(tc, in, false, cursor);
    }
    void info(const OBConstructedInfo* i, const void* v) { i->marshal(v, cursor); }
};

template<class Sink> void putValue(const CORBA_Any& any, Sink& sink) {
    const void* v = any.value();
    switch (repOf(any._OB_type(), any.info())) {
    case Rep::None:
        break;
    case Rep::Short:
        sink.put(*static_cast<const CORBA_UShort*>(v));
        break;
    case Rep::Long:
        sink.put(*static_cast<const CORBA_ULong*>(v));
        break;
    case Rep::Float:
        sink.put(*static_cast<const CORBA_Float*>(v));
        break;
    case Rep::Double:
        sink.put(*static_cast<const CORBA_Double*>(v));
        break;
    case Rep::Octet:
        sink.put(*static_cast<const CORBA_Octet*>(v));
        break;
    case Rep::Any: {
        const CORBA_Any& inner = *static_cast<const CORBA_Any*>(v);
        sink.put(inner._OB_type());
        putValue(inner, sink);
        break;
    }
    case Rep::TypeCode:
        sink.put(static_cast<CORBA_TypeCode*>(const_cast<void*>(v)));
        break;
    case Rep::Principal:
        sink.put(static_cast<CORBA_Principal*>(const_cast<void*>(v)));
        break;
    case Rep::Object:
        sink.put(static_cast<const OBAnyObject*>(v)->object.in());
        break;
    case Rep::String:
        sink.put(static_cast<const char*>(v));
        break;
    case Rep::SysEx:
        sink.put(*static_cast<const CORBA_SystemException*>(v));
        break;
    case Rep::Info:
        sink.info(any.info(), v);
        break;
    case Rep::Buffer:
        sink.cdr(any._OB_type(), *static_cast<const OBBuffer*>(v));
        break;
    }
}

template<class T> T* readBasic(OBInCursor& in, bool swap) {
    std::unique_ptr<T> v(new T);
    OBRead(*v, in, swap);
    return v.release();
}

// A new value of type tc read from in, in the representation for tc.
void* readValue(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_ULong depth) {
    switch (repOf(tc, nullptr)) {
    case Rep::None:
        return nullptr;
    case Rep::Short:
        return readBasic<CORBA_UShort>(in, swap);
    case Rep::Long: {
        std::unique_ptr<CORBA_ULong> v(readBasic<CORBA_ULong>(in, swap));
        const CORBA_TypeCode* t = tc->_OB_getOrigType();
        if (t->kind_ == CORBA_tk_enum && *v >= t->memberNames_.length())
            throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
        return v.release();
    }
    case Rep::Float:
        return readBasic<CORBA_Float>(in, swap);
    case Rep::Double:
        return readBasic<CORBA_Double>(in, swap);
    case Rep::Octet:
        return readBasic<CORBA_Octet>(in, swap);
    case Rep::Any: {
        std::unique_ptr<CORBA_Any> inner(new CORBA_Any);
        OBReadAnyAt(*inner, in, swap, depth + 1);
        return inner.release();
    }
    case Rep::TypeCode: {
        CORBA_TypeCode_var value;
        OBRead(value, in, swap);
        return value._retn();
    }
    case Rep::Principal: {
        CORBA_Principal_var value;
        OBRead(value, in, swap);
        return value._retn();
    }
    case Rep::Object: {
        std::unique_ptr<OBAnyObject> held(new OBAnyObject);
        OBRead(held->object, in, swap);
        return held.release();
    }
    case Rep::String: {
        CORBA_String_var s;
        OBRead(s, in, swap);
        const CORBA_ULong bound = tc->_OB_getOrigType()->length_;
        if (bound != 0 && std::strlen(s) > bound)
            throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
        return s._retn();
    }
    case Rep::SysEx: {
        std::unique_ptr<CORBA_SystemException> e = OBReadSystemException(in, swap);
        // The value must be the exception that its TypeCode names.
        if (std::strcmp(e->_rep_id(), tc->_OB_getOrigType()->id_.in()) != 0)
            throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
        return e.release();
    }
    case Rep::Info:
    case Rep::Buffer:
        break;
    }
    // Any other constructed value: its native CDR form, sized by a count pass.
    OBInCursor peek = in;
    CORBA_ULong n = 0;
    OBCountValueAt(tc, peek, swap, n, depth + 1);
    std::unique_ptr<OBBuffer> b(new OBBuffer(n));
    CORBA_Octet* cursor = b->data;
    OBCopyValueAt(tc, in, swap, cursor, depth + 1);
    OB_ASSERT(cursor == b->data + n);
    return b.release();
}

}  // namespace

void OBReadAnyAt(CORBA_Any& any, OBInCursor& in, bool swap, CORBA_ULong depth) {
    OBCheckValueDepth(depth);
    CORBA_TypeCode_var tc;
    OBRead(tc, in, swap);
    void* value = readValue(tc, in, swap, depth);
    any.replace(tc, value, true);
}

void OBCount(const CORBA_Any& any, CORBA_ULong& count) {
    AnyCountSink sink{count};
    sink.put(any._OB_type());
    putValue(any, sink);
}

void OBWrite(const CORBA_Any& any, CORBA_Octet*& cursor) {
    AnyWriteSink sink{cursor};
    sink.put(any._OB_type());
    putValue(any, sink);
}

void OBRead(CORBA_Any& any, OBInCursor& in, bool swap) {
    OBReadAnyAt(any, in, swap, 0);
}
