// TypeCodes: run-time descriptions of IDL types, their CDR form, and the
// process-wide TypeCode constants.
//
// A TypeCode is a counted object. TypeCodes of recursive types (a struct,
// union or exception that contains a sequence of itself) form reference
// cycles; releasing the last outside reference of such a cycle frees it.
// TypeCodes are used from one thread; nothing here locks.
#ifndef OB_TYPECODE_H
#define OB_TYPECODE_H

#include <OB/Except.h>
#include <OB/Template.h>

class CORBA_Any;
class CORBA_TypeCode;

// Releasing a TypeCode breaks the reference cycles of recursive types once
// only cycle partners hold them (see CORBA_TypeCode::cyclicTypes_).
template<> void CORBA_release<CORBA_TypeCode>(CORBA_TypeCode* p);

// The kinds of TypeCode, numbered as on the wire.
enum CORBA_TCKind : CORBA_ULong {
    CORBA_tk_null = 0,
    CORBA_tk_void = 1,
    CORBA_tk_short = 2,
    CORBA_tk_long = 3,
    CORBA_tk_ushort = 4,
    CORBA_tk_ulong = 5,
    CORBA_tk_float = 6,
    CORBA_tk_double = 7,
    CORBA_tk_boolean = 8,
    CORBA_tk_char = 9,
    CORBA_tk_octet = 10,
    CORBA_tk_any = 11,
    CORBA_tk_TypeCode = 12,
    CORBA_tk_Principal = 13,
    CORBA_tk_objref = 14,
    CORBA_tk_struct = 15,
    CORBA_tk_union = 16,
    CORBA_tk_enum = 17,
    CORBA_tk_string = 18,
    CORBA_tk_sequence = 19,
    CORBA_tk_array = 20,
    CORBA_tk_alias = 21,
    CORBA_tk_except = 22
};

typedef OBObjVar<CORBA_TypeCode> CORBA_TypeCode_var;

// One IDL type. Which fields are used depends on kind_; the queries raise
// CORBA_TypeCode_BadKind when asked of another kind and CORBA_TypeCode_Bounds
// for a member index at or beyond the member count.
class CORBA_TypeCode : public OBSimpleRefCount {
public:
    CORBA_TCKind kind_;                     // every kind
    CORBA_String_var id_;                   // objref, struct, union, enum, alias, except: repository ID
    CORBA_String_var name_;                 // same kinds: simple name
    OBStrSeq memberNames_;                  // struct, union, enum (enumerators), except
    OBObjSeq<CORBA_TypeCode> memberTypes_;  // struct, union, except: parallel to memberNames_
    OBVarSeq<CORBA_Any> labels_;            // union: one label per member; the default's is an octet
    CORBA_TypeCode_var discriminatorType_;  // union
    CORBA_ULong length_;                    // string, sequence (0 = unbounded), array
    CORBA_TypeCode_var contentType_;        // sequence, array, alias; nil in an unresolved recursive sequence
    CORBA_ULong offset_;                    // sequence: n > 0 = element is the n-th enclosing struct/union/except
    // The other members of the reference cycles this TypeCode belongs to.
    // Not counted: it only marks the TypeCodes whose release must look for
    // a cycle that nothing outside holds any more.
    OBPlainSeq<CORBA_TypeCode*> cyclicTypes_;

    // A TypeCode of kind k with every other field empty.
    explicit CORBA_TypeCode(CORBA_TCKind k);
    ~CORBA_TypeCode() override;

    CORBA_TCKind kind() const { return kind_; }
    // Repository ID and name (not copied). objref, struct, union, enum, alias, except.
    const char* id() const;
    const char* name() const;
    // struct, union, enum, except.
    CORBA_ULong member_count() const;
    const char* member_name(CORBA_ULong i) const;
    // struct, union, except: a new reference.
    CORBA_TypeCode* member_type(CORBA_ULong i) const;
    // union: a new Any, copy of label i; the caller owns it.
    CORBA_Any* member_label(CORBA_ULong i) const;
    // union: a new reference.
    CORBA_TypeCode* discriminator_type() const;
    // union: index of the first label of kind octet, or -1.
    CORBA_Long default_index() const;
    // string, sequence, array.
    CORBA_ULong length() const;
    // sequence, array, alias: a new reference (nil in an unresolved recursive sequence).
    CORBA_TypeCode* content_type() const;
    // sequence: the recursion offset (0 for an ordinary sequence).
    CORBA_ULong recursion_offset() const;

    // Same type: aliases are looked through; recursive sequences are compared
    // by offset and by their target's kind, ID and name, which keeps the
    // comparison finite on cycles.
    CORBA_Boolean equal(CORBA_TypeCode* other);

    // This TypeCode with its aliases looked through (not counted).
    CORBA_TypeCode* _OB_getOrigType();

    // A new TypeCode with the same fields (cyclicTypes_ empty).
    CORBA_TypeCode* _OB_copy() const;

    // Resolves the recursive sequences below this new struct, union or
    // exception whose offset names it (see OBTypeCodeRecursion).
    void _OB_resolveRecursion();
};

// --- constants ----------------------------------------------------------------
// Process-wide objects that build their TypeCode on first use and keep it
// until the process ends. Each is read through its conversion to a TypeCode
// reference, which the constant keeps owning. First use is not locked.

// A TypeCode with only its kind: one of the kinds tk_null .. tk_Principal.
class OBTypeCodeBasicConst {
public:
    constexpr explicit OBTypeCodeBasicConst(CORBA_TCKind k) : kind_(k), tc_(nullptr) {}
    operator CORBA_TypeCode*() const;

private:
    CORBA_TCKind kind_;
    mutable CORBA_TypeCode* tc_;
};

// The unbounded string.
class OBTypeCodeStringConst {
public:
    constexpr OBTypeCodeStringConst() : tc_(nullptr) {}
    operator CORBA_TypeCode*() const;

private:
    mutable CORBA_TypeCode* tc_;
};

// CORBA::Object: "IDL:omg.org/CORBA/Object:1.0", name "Object".
class OBTypeCodeObjectConst {
public:
    constexpr OBTypeCodeObjectConst() : tc_(nullptr) {}
    operator CORBA_TypeCode*() const;

private:
    mutable CORBA_TypeCode* tc_;
};

// The tk_except TypeCode of the standard system exception `name`
// (for example "BAD_PARAM"): members "minor" (unsigned long) and
// "completed" (enum CompletionStatus).
class OBTypeCodeSysExConst {
public:
    constexpr explicit OBTypeCodeSysExConst(const char* name) : name_(name), tc_(nullptr) {}
    operator CORBA_TypeCode*() const;

private:
    const char* name_;
    mutable CORBA_TypeCode* tc_;
};

// A stored constant: the hexadecimal text of a CDR encapsulation (byte-order
// octet, then the TypeCode), decoded on first use. Malformed text raises the
// exception of the failed decoding (CORBA_MARSHAL or CORBA_BAD_TYPECODE).
class OBTypeCodeConst {
public:
    constexpr explicit OBTypeCodeConst(const char* str) : str_(str), tc_(nullptr) {}
    operator CORBA_TypeCode*() const;

private:
    const char* str_;
    mutable CORBA_TypeCode* tc_;
};

extern OBTypeCodeBasicConst CORBA__tc_null;
extern OBTypeCodeBasicConst CORBA__tc_void;
extern OBTypeCodeBasicConst CORBA__tc_short;
extern OBTypeCodeBasicConst CORBA__tc_long;
extern OBTypeCodeBasicConst CORBA__tc_ushort;
extern OBTypeCodeBasicConst CORBA__tc_ulong;
extern OBTypeCodeBasicConst CORBA__tc_float;
extern OBTypeCodeBasicConst CORBA__tc_double;
extern OBTypeCodeBasicConst CORBA__tc_boolean;
extern OBTypeCodeBasicConst CORBA__tc_char;
extern OBTypeCodeBasicConst CORBA__tc_octet;
extern OBTypeCodeBasicConst CORBA__tc_any;
extern OBTypeCodeBasicConst CORBA__tc_TypeCode;
extern OBTypeCodeBasicConst CORBA__tc_Principal;
extern OBTypeCodeStringConst CORBA__tc_string;
extern OBTypeCodeObjectConst CORBA__tc_Object;

#define OB_DECLARE_SYSEX_TC(NAME) extern OBTypeCodeSysExConst CORBA__tc_##NAME;
OB_STANDARD_SYSTEM_EXCEPTIONS(OB_DECLARE_SYSEX_TC)
#undef OB_DECLARE_SYSEX_TC

// The basic constant of kind k (k at most tk_Principal, checked).
CORBA_TypeCode* OBBasicTypeCode(CORBA_TCKind k);

// True when tc is of kind tk_except and its ID is one of the 26 standard
// system exception IDs (INV_POLICY's is not one of them).
bool OBIsSystemExceptionType(CORBA_TypeCode* tc);

// The TypeCode constant of the standard system exception with repository ID
// id (not counted), or nil when id is not a standard one.
CORBA_TypeCode* OBSystemExceptionType(const char* id);

// --- members given to the factory operations of CORBA_ORB ----------------------

struct CORBA_StructMember {
    CORBA_String_var name;
    CORBA_TypeCode_var type;
};
typedef OBVarSeq<CORBA_StructMember> CORBA_StructMemberSeq;

struct CORBA_UnionMember;  // defined in OB/Any.h: it holds an Any label
typedef OBVarSeq<CORBA_UnionMember> CORBA_UnionMemberSeq;
typedef OBStrSeq CORBA_EnumMemberSeq;

// --- CDR ------------------------------------------------------------------------
// The standard GIOP 1.0 form. A recursive sequence inside the TypeCode that it
// refers to travels as the indirection 0xFFFFFFFF and a negative offset to the
// kind field of its target.

// Adds the encoded size of tc. A nil tc (also as a nested element type)
// raises CORBA_BAD_TYPECODE (minor 0, COMPLETED_NO).
void OBCount(CORBA_TypeCode* tc, CORBA_ULong& count);
// Writes tc; nil raises CORBA_BAD_TYPECODE (minor 0, COMPLETED_NO).
void OBWrite(CORBA_TypeCode* tc, CORBA_Octet*& cursor);
// Reads a TypeCode into tc. Kinds 0..13 give the basic constants, an
// unbounded string the string constant. Short data or malformed strings raise
// CORBA_MARSHAL; unknown kinds, unusable indirections, unions whose
// discriminator cannot label anything and nesting or expansion beyond
// OBMaxTypeCodeDepth / OBMaxTypeCodeNodes raise CORBA_BAD_TYPECODE (all
// minor 0, COMPLETED_NO). tc is unchanged on failure.
void OBRead(CORBA_TypeCode_var& tc, OBInCursor& in, bool swap);

// Limits on TypeCodes received from outside: nesting depth, and the number of
// TypeCodes the result would hold if every shared (indirected) part were
// copied out.
const CORBA_ULong OBMaxTypeCodeDepth = 64;
const CORBA_ULong OBMaxTypeCodeNodes = 10000;

#endif
