// The TypeCode factory operations of CORBA_ORB.
#include <OB/Any.h>
#include <OB/ORB.h>
#include <OB/TypeCode.h>

namespace {

CORBA_TypeCode* named(CORBA_TCKind kind, const char* id, const char* name) {
    OB_CHECK_COMPLIANT(id, OBNCNullString);
    OB_CHECK_COMPLIANT(name, OBNCNullString);
    CORBA_TypeCode* tc = new CORBA_TypeCode(kind);
    tc->id_ = id;
    tc->name_ = name;
    return tc;
}

CORBA_TypeCode* withMembers(CORBA_TCKind kind, const char* id, const char* name,
                            const CORBA_StructMemberSeq& members) {
    CORBA_TypeCode_var tc(named(kind, id, name));
    const CORBA_ULong n = members.length();
    tc->memberNames_.length(n);
    tc->memberTypes_.length(n);
    for (CORBA_ULong i = 0; i < n; ++i) {
        OB_CHECK_COMPLIANT(members[i].name.in(), OBNCNullString);
        OB_ASSERT(!CORBA_is_nil(members[i].type.in()));
        tc->memberNames_[i] = members[i].name;
        tc->memberTypes_[i] = members[i].type;
    }
    tc->_OB_resolveRecursion();
    return tc._retn();
}

bool canDiscriminate(CORBA_TCKind k) {
    return k == CORBA_tk_short || k == CORBA_tk_ushort || k == CORBA_tk_long || k == CORBA_tk_ulong ||
           k == CORBA_tk_char || k == CORBA_tk_boolean || k == CORBA_tk_enum;
}

}  // namespace

CORBA_TypeCode* CORBA_ORB::create_struct_tc(const char* id, const char* name,
                                            const CORBA_StructMemberSeq& members) {
    return withMembers(CORBA_tk_struct, id, name, members);
}

CORBA_TypeCode* CORBA_ORB::create_exception_tc(const char* id, const char* name,
                                               const CORBA_StructMemberSeq& members) {
    return withMembers(CORBA_tk_except, id, name, members);
}

CORBA_TypeCode* CORBA_ORB::create_union_tc(const char* id, const char* name, CORBA_TypeCode* discriminator_type,
                                           const CORBA_UnionMemberSeq& members) {
    OB_ASSERT(!CORBA_is_nil(discriminator_type));
    CORBA_TypeCode* tc1 = discriminator_type;
    OB_CHECK_COMPLIANT(canDiscriminate(tc1->_OB_getOrigType()->kind_), OBNCDiscriminatorType);
    CORBA_TypeCode_var tc(named(CORBA_tk_union, id, name));
    tc->discriminatorType_ = OBDuplicate(discriminator_type);
    const CORBA_ULong n = members.length();
    tc->memberNames_.length(n);
    tc->memberTypes_.length(n);
    tc->labels_.length(n);
    for (CORBA_ULong i = 0; i < n; ++i) {
        CORBA_TypeCode* tc2 = members[i].label._OB_type();
        if (tc2->_OB_getOrigType()->kind_ != CORBA_tk_octet)
            OB_CHECK_COMPLIANT(tc1 -> equal(tc2), OBNCDiscriminatorType);
        OB_CHECK_COMPLIANT(members[i].name.in(), OBNCNullString);
        OB_ASSERT(!CORBA_is_nil(members[i].type.in()));
        tc->memberNames_[i] = members[i].name;
        tc->memberTypes_[i] = members[i].type;
        tc->labels_[i] = members[i].label;
    }
    tc->_OB_resolveRecursion();
    return tc._retn();
}

CORBA_TypeCode* CORBA_ORB::create_enum_tc(const char* id, const char* name, const CORBA_EnumMemberSeq& members) {
    CORBA_TypeCode* tc = named(CORBA_tk_enum, id, name);
    tc->memberNames_ = members;
    return tc;
}

CORBA_TypeCode* CORBA_ORB::create_alias_tc(const char* id, const char* name, CORBA_TypeCode* original_type) {
    OB_ASSERT(!CORBA_is_nil(original_type));
    CORBA_TypeCode* tc = named(CORBA_tk_alias, id, name);
    tc->contentType_ = OBDuplicate(original_type);
    return tc;
}

CORBA_TypeCode* CORBA_ORB::create_interface_tc(const char* id, const char* name) {
    return named(CORBA_tk_objref, id, name);
}

CORBA_TypeCode* CORBA_ORB::create_string_tc(CORBA_ULong bound) {
    if (bound == 0)
        return OBDuplicate<CORBA_TypeCode>(CORBA__tc_string);
    CORBA_TypeCode* tc = new CORBA_TypeCode(CORBA_tk_string);
    tc->length_ = bound;
    return tc;
}

CORBA_TypeCode* CORBA_ORB::create_sequence_tc(CORBA_ULong bound, CORBA_TypeCode* element_type) {
    OB_ASSERT(!CORBA_is_nil(element_type));
    CORBA_TypeCode* tc = new CORBA_TypeCode(CORBA_tk_sequence);
    tc->length_ = bound;
    tc->contentType_ = OBDuplicate(element_type);
    return tc;
}

CORBA_TypeCode* CORBA_ORB::create_recursive_sequence_tc(CORBA_ULong bound, CORBA_ULong offset) {
    OB_ASSERT(offset > 0);
    CORBA_TypeCode* tc = new CORBA_TypeCode(CORBA_tk_sequence);
    tc->length_ = bound;
    tc->offset_ = offset;
    return tc;
}

CORBA_TypeCode* CORBA_ORB::create_array_tc(CORBA_ULong length, CORBA_TypeCode* element_type) {
    OB_ASSERT(!CORBA_is_nil(element_type));
    CORBA_TypeCode* tc = new CORBA_TypeCode(CORBA_tk_array);
    tc->length_ = length;
    tc->contentType_ = OBDuplicate(element_type);
    return tc;
}
