// Any: one value of any IDL type together with its TypeCode, its CDR form,
// and the copy of a CDR value through its TypeCode.
#ifndef OB_ANY_H
#define OB_ANY_H

#include <OB/Object.h>
#include <OB/TypeCode.h>

// A caller's identity (the IDL type Principal): opaque octets, counted like
// the ORB's other pseudo-objects. In CDR it is an octet sequence.
class CORBA_Principal : public OBSimpleRefCount {
public:
    // No octets.
    CORBA_Principal() = default;
    explicit CORBA_Principal(const CORBA_OctetSeq& id) : octets(id) {}

    CORBA_OctetSeq octets;
};

typedef OBObjVar<CORBA_Principal> CORBA_Principal_var;

// CDR of a Principal: its octets as a sequence (a nil Principal has none).
void OBCount(CORBA_Principal* p, CORBA_ULong& count);
void OBWrite(CORBA_Principal* p, CORBA_Octet*& cursor);
void OBRead(CORBA_Principal_var& p, OBInCursor& in, bool swap);

// The value operations of one constructed IDL type, so that an Any can hold
// that type's own C++ object. The slot order is fixed.
class OBConstructedInfo {
public:
    virtual ~OBConstructedInfo();
    // A new default value.
    virtual void* create() const = 0;
    // Deletes a value made by create or dup.
    virtual void free(void* p) const = 0;
    // A new copy of *p.
    virtual void* dup(const void* p) const = 0;
    // OBWrite of *p.
    virtual void marshal(const void* p, CORBA_Octet*& cursor) const = 0;
    // OBCount of *p.
    virtual void count(const void* p, CORBA_ULong& count) const = 0;
    // OBRead into *p.
    virtual void unmarshal(void* p, OBInCursor& in, bool swap) const = 0;
};

// The value operations of T, through T's default constructor, copy and the
// OBWrite / OBCount / OBRead overloads of T. One instance serves all values.
template<class T> class OBInfo : public OBConstructedInfo {
public:
    void* create() const override { return new T(); }
    void free(void* p) const override { delete static_cast<T*>(p); }
    void* dup(const void* p) const override { return new T(*static_cast<const T*>(p)); }
    void marshal(const void* p, CORBA_Octet*& cursor) const override { OBWrite(*static_cast<const T*>(p), cursor); }
    void count(const void* p, CORBA_ULong& n) const override { OBCount(*static_cast<const T*>(p), n); }
    void unmarshal(void* p, OBInCursor& in, bool swap) const override { OBRead(*static_cast<T*>(p), in, swap); }

    // The one instance for T.
    static OBInfo* instance() {
        static OBInfo info;
        return &info;
    }
};

// A self-describing value. The representation of value_ follows the kind of
// type_ with aliases looked through:
//   null, void                 nothing (null)
//   short, ushort              heap CORBA_Short / CORBA_UShort
//   long, ulong, enum          heap CORBA_Long / CORBA_ULong (an enum as its index)
//   float, double              heap CORBA_Float / CORBA_Double
//   boolean, char, octet       heap CORBA_Octet
//   any                        heap CORBA_Any
//   TypeCode, Principal        the TypeCode or CORBA_Principal itself (counted)
//   objref                     heap OBAnyObject
//   string                     guarded string
//   standard system exception  heap object of the exception's class
//   other constructed kinds    the static type's object when info_ is set,
//                              else an OBBuffer with the value in native CDR
class CORBA_Any {
public:
    // Which inserted or extracted type an octet-sized or bounded value has.
    struct from_boolean { explicit from_boolean(CORBA_Boolean v) : val(v) {} CORBA_Boolean val; };
    struct from_octet { explicit from_octet(CORBA_Octet v) : val(v) {} CORBA_Octet val; };
    struct from_char { explicit from_char(CORBA_Char v) : val(v) {} CORBA_Char val; };
    // A string of at most bound characters (0: unbounded); nocopy adopts it.
    struct from_string {
        from_string(char* s, CORBA_ULong b, bool nocopy = false) : val(s), bound(b), adopt(nocopy) {}
        from_string(const char* s, CORBA_ULong b) : val(const_cast<char*>(s)), bound(b), adopt(false) {}
        char* val;
        CORBA_ULong bound;
        bool adopt;
    };
    struct to_boolean { explicit to_boolean(CORBA_Boolean& v) : ref(v) {} CORBA_Boolean& ref; };
    struct to_octet { explicit to_octet(CORBA_Octet& v) : ref(v) {} CORBA_Octet& ref; };
    struct to_char { explicit to_char(CORBA_Char& v) : ref(v) {} CORBA_Char& ref; };
    struct to_string { to_string(const char*& s, CORBA_ULong b) : ref(s), bound(b) {} const char*& ref; CORBA_ULong bound; };
    // Any object reference, whatever its interface.
    struct to_object { explicit to_object(CORBA_Object*& v) : ref(v) {} CORBA_Object*& ref; };

    // Holds nothing: type tk_null.
    CORBA_Any();
    // A copy of other's value (owned).
    CORBA_Any(const CORBA_Any& other);
    // As replace(tc, value, release).
    CORBA_Any(CORBA_TypeCode* tc, void* value, CORBA_Boolean release = false);
    ~CORBA_Any();

    // Becomes a copy of other (owned).
    CORBA_Any& operator=(const CORBA_Any& other);

    // Frees an owned value, then holds tc (one more reference, must not be
    // nil), value in the representation of tc's kind, the release flag and
    // info. Giving an owning Any its own value is non-compliant use.
    void replace(CORBA_TypeCode* tc, void* value, CORBA_Boolean release = false,
                 OBConstructedInfo* info = nullptr);

    // The value's type (a new reference).
    CORBA_TypeCode* type() const;
    // The value's type (not counted; valid while the Any holds it).
    CORBA_TypeCode* _OB_type() const { return type_; }
    // The value in its representation (still owned by the Any when release_).
    const void* value() const { return value_; }
    // The static type's operations, or null.
    OBConstructedInfo* info() const { return info_; }

    // --- insertion (the Any owns the copy) ----------------------------------
    void operator<<=(CORBA_Short v);
    void operator<<=(CORBA_UShort v);
    void operator<<=(CORBA_Long v);
    void operator<<=(CORBA_ULong v);
    void operator<<=(CORBA_Float v);
    void operator<<=(CORBA_Double v);
    void operator<<=(from_boolean v);
    void operator<<=(from_octet v);
    void operator<<=(from_char v);
    // A copy of s (unbounded string); null is non-compliant use.
    void operator<<=(const char* s);
    // Bounded string, copied or adopted.
    void operator<<=(from_string s);
    // A new reference to obj (nil allowed), typed CORBA::Object.
    void operator<<=(CORBA_Object* obj);
    // Adopts *obj (the caller gives its reference up).
    void operator<<=(CORBA_Object** obj);
    // A new reference to tc (must not be nil).
    void operator<<=(CORBA_TypeCode* tc);
    // Adopts *tc.
    void operator<<=(CORBA_TypeCode** tc);
    // A copy of a.
    void operator<<=(const CORBA_Any& a);
    // Adopts a (a heap Any).
    void operator<<=(CORBA_Any* a);

    // --- extraction: true and the value when the type is equal to the expected one
    CORBA_Boolean operator>>=(CORBA_Short& v) const;
    CORBA_Boolean operator>>=(CORBA_UShort& v) const;
    CORBA_Boolean operator>>=(CORBA_Long& v) const;
    CORBA_Boolean operator>>=(CORBA_ULong& v) const;
    CORBA_Boolean operator>>=(CORBA_Float& v) const;
    CORBA_Boolean operator>>=(CORBA_Double& v) const;
    CORBA_Boolean operator>>=(to_boolean v) const;
    CORBA_Boolean operator>>=(to_octet v) const;
    CORBA_Boolean operator>>=(to_char v) const;
    // The Any keeps owning the string.
    CORBA_Boolean operator>>=(const char*& s) const;
    CORBA_Boolean operator>>=(to_string s) const;
    // Type CORBA::Object only; the Any keeps owning the reference.
    CORBA_Boolean operator>>=(CORBA_Object*& obj) const;
    // Any tk_objref; the Any keeps owning the reference.
    CORBA_Boolean operator>>=(to_object obj) const;
    // The Any keeps owning the TypeCode.
    CORBA_Boolean operator>>=(CORBA_TypeCode*& tc) const;
    // The Any keeps owning the inner Any.
    CORBA_Boolean operator>>=(const CORBA_Any*& a) const;

    // --- standard system exceptions: inserted as a copy or adopted; extraction
    // hands out the held object, which the Any keeps owning.
#define OB_ANY_SYSEX(NAME)                                    \
    void operator<<=(const CORBA_##NAME& e);                  \
    void operator<<=(CORBA_##NAME* e);                        \
    CORBA_Boolean operator>>=(const CORBA_##NAME*& e) const;
    OB_STANDARD_SYSTEM_EXCEPTIONS(OB_ANY_SYSEX)
#undef OB_ANY_SYSEX

    // --- values of constructed static types (see OBInsert / OBExtract) ------
    // The held value as an object handled by info when the type is equal to
    // tc: a CDR value is converted to such an object first. Null otherwise.
    const void* _OB_constructed(CORBA_TypeCode* tc, OBConstructedInfo* info) const;
    // When the type is equal to tc: true and in out the held reference
    // narrowed by narrow (nil for a nil reference), which the Any keeps.
    CORBA_Boolean _OB_narrowed(CORBA_TypeCode* tc, CORBA_Object* (*narrow)(CORBA_Object*),
                               CORBA_Object*& out) const;

private:
    void freeValue();
    void insert(CORBA_TypeCode* tc, void* value, OBConstructedInfo* info = nullptr);
    template<class T> CORBA_Boolean extractBasic(CORBA_TypeCode* tc, T& v) const;
    const CORBA_SystemException* extractSysEx(CORBA_TypeCode* tc) const;

    CORBA_TypeCode* type_;          // counted, never nil
    // An extraction may convert a CDR value in place into a static one.
    mutable void* value_;
    mutable CORBA_Boolean release_;  // value_ is owned
    mutable OBConstructedInfo* info_;
};

// An object reference held by an Any: as inserted or read, and as the
// interface that the last typed extraction narrowed it to.
struct OBAnyObject {
    CORBA_Object_var object;
    CORBA_Object_var narrowed;
};

// A union member given to CORBA_ORB::create_union_tc.
struct CORBA_UnionMember {
    CORBA_String_var name;
    CORBA_Any label;  // of the discriminator's type; an octet marks the default member
    CORBA_TypeCode_var type;
};

// Inserts a copy of v of the static type T described by tc.
template<class T> void OBInsert(CORBA_Any& any, CORBA_TypeCode* tc, const T& v) {
    any.replace(tc, new T(v), true, OBInfo<T>::instance());
}
// Adopts the heap value v.
template<class T> void OBInsert(CORBA_Any& any, CORBA_TypeCode* tc, T* v) {
    any.replace(tc, v, true, OBInfo<T>::instance());
}
// Points v at the Any's value when its type is equal to tc; the Any keeps owning it.
template<class T> CORBA_Boolean OBExtract(const CORBA_Any& any, CORBA_TypeCode* tc, const T*& v) {
    const void* p = any._OB_constructed(tc, OBInfo<T>::instance());
    if (!p)
        return false;
    v = static_cast<const T*>(p);
    return true;
}
// Extracts a reference of interface T (T::_narrow) when the type is equal to
// tc and the object is a T (a nil reference gives nil); the Any keeps owning it.
template<class T> CORBA_Boolean OBExtractObject(const CORBA_Any& any, CORBA_TypeCode* tc, T*& v) {
    CORBA_Object* p = nullptr;
    if (!any._OB_narrowed(tc, [](CORBA_Object* o) -> CORBA_Object* { return T::_narrow(o); }, p))
        return false;
    v = p ? dynamic_cast<T*>(p) : nullptr;
    return !p || v;
}

// CDR of an Any: its TypeCode, then its value. Reading raises the exceptions
// of OBRead for TypeCodes, and CORBA_MARSHAL for bad values or values nested
// deeper than OBMaxValueDepth (minor 0, COMPLETED_NO).
void OBCount(const CORBA_Any& any, CORBA_ULong& count);
void OBWrite(const CORBA_Any& any, CORBA_Octet*& cursor);
void OBRead(CORBA_Any& any, OBInCursor& in, bool swap);

// Nesting limit of values read from outside (Anys inside Anys, values of
// recursive types).
const CORBA_ULong OBMaxValueDepth = 100;

// Copies one value of type tc from in (honouring swap) to cursor in native
// order, aligning at both ends. A recursive sequence left unresolved, or a
// union whose discriminator cannot label anything, raises CORBA_BAD_TYPECODE;
// bad data CORBA_MARSHAL (minor 0, COMPLETED_NO).
void OBCopyValue(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_Octet*& cursor);
// Walks one value of type tc in in and adds to count the size that
// OBCopyValue will write. Raises as OBCopyValue.
void OBCountValue(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_ULong& count);

// The CORBA::UnknownUserException: a user exception that the receiver does
// not know, held as an Any.
class CORBA_UnknownUserException : public CORBA_UserException {
public:
    // Holds an empty Any.
    CORBA_UnknownUserException();
    // Holds a copy of a.
    explicit CORBA_UnknownUserException(const CORBA_Any& a);
    CORBA_UnknownUserException(const CORBA_UnknownUserException& other);
    CORBA_UnknownUserException& operator=(const CORBA_UnknownUserException& other);
    ~CORBA_UnknownUserException() override;

    // "IDL:omg.org/CORBA/UnknownUserException:1.0".
    const char* _rep_id() const override;
    CORBA_UnknownUserException* _OB_clone() const override;
    // e typed as this class, or null.
    static CORBA_UnknownUserException* _narrow(CORBA_Exception* e);

    // The held exception value (owned by this object).
    CORBA_Any& exception() { return any_; }
    const CORBA_Any& exception() const { return any_; }

private:
    CORBA_Any any_;
};

#endif
