// The copy of a CDR value through its TypeCode, and its counting companion.
#include "AnyValue.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

void OBCheckValueDepth(CORBA_ULong depth) {
    if (depth > OBMaxValueDepth)
        throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
}

namespace {

[[noreturn]] void badTypeCode() {
    throw CORBA_BAD_TYPECODE(0, CORBA_COMPLETED_NO);
}

// Octets of one element of a basic kind, 0 for kinds that are not basic.
std::size_t basicSize(CORBA_TCKind k) {
    switch (k) {
    case CORBA_tk_short:
    case CORBA_tk_ushort:
        return 2;
    case CORBA_tk_long:
    case CORBA_tk_ulong:
    case CORBA_tk_float:
    case CORBA_tk_enum:
        return 4;
    case CORBA_tk_double:
        return 8;
    case CORBA_tk_boolean:
    case CORBA_tk_char:
    case CORBA_tk_octet:
        return 1;
    default:
        return 0;
    }
}

CORBA_ULong saturatedAdd(CORBA_ULong a, std::uint64_t b) {
    return static_cast<CORBA_ULong>(std::min<std::uint64_t>(a + b, 0xFFFFFFFFu));
}

// The fewest octets a value of tc can occupy (alignment not counted). Does
// not descend into sequence elements, so it ends on recursive types.
CORBA_ULong minSize(CORBA_TypeCode* tc) {
    CORBA_TypeCode* t = tc->_OB_getOrigType();
    switch (t->kind_) {
    case CORBA_tk_struct:
    case CORBA_tk_except: {
        CORBA_ULong n = t->kind_ == CORBA_tk_except ? 5 : 0;
        for (CORBA_ULong i = 0; i < t->memberTypes_.length(); ++i)
            n = saturatedAdd(n, minSize(t->memberTypes_[i]));
        return n;
    }
    case CORBA_tk_union:
        return minSize(t->discriminatorType_);
    case CORBA_tk_array:
        return static_cast<CORBA_ULong>(
            std::min<std::uint64_t>(std::uint64_t(t->length_) * minSize(t->contentType_), 0xFFFFFFFFu));
    case CORBA_tk_string:
        return 5;
    case CORBA_tk_objref:
        return 9;
    case CORBA_tk_any:
    case CORBA_tk_TypeCode:
    case CORBA_tk_Principal:
    case CORBA_tk_sequence:
        return 4;
    default:
        return static_cast<CORBA_ULong>(basicSize(t->kind_));
    }
}

struct CountOut {
    CORBA_ULong& count;
    template<class T> void put(const T& v) { OBCount(v, count); }
    void block(const CORBA_Octet*, CORBA_ULong n, std::size_t size, bool) {
        if (n > 0)
            count += static_cast<CORBA_ULong>(OBPadding(count, size) + std::size_t(n) * size);
    }
};

struct WriteOut {
    CORBA_Octet*& cursor;
    template<class T> void put(const T& v) { OBWrite(v, cursor); }
    void block(const CORBA_Octet* src, CORBA_ULong n, std::size_t size, bool swap) {
        if (n == 0)
            return;
        OBAlignCursor(cursor, size);
        std::memcpy(cursor, src, std::size_t(n) * size);
        if (swap && size > 1)
            for (CORBA_ULong i = 0; i < n; ++i)
                std::reverse(cursor + i * size, cursor + (i + 1) * size);
        cursor += std::size_t(n) * size;
    }
};

template<class Out> class ValueCopier {
public:
    ValueCopier(OBInCursor& in, bool swap, Out& out) : in_(in), swap_(swap), out_(out) {}

    void copy(CORBA_TypeCode* tc, CORBA_ULong depth) {
        OBCheckValueDepth(depth);
        CORBA_TypeCode* t = tc->_OB_getOrigType();
        if (const std::size_t size = basicSize(t->kind_)) {
            const CORBA_Octet* p = OBTake(in_, 1, size);
            if (t->kind_ == CORBA_tk_enum && value32(p) >= t->memberNames_.length())
                throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
            out_.block(p, 1, size, swap_);
            return;
        }
        switch (t->kind_) {
        case CORBA_tk_null:
        case CORBA_tk_void:
            break;
        case CORBA_tk_string:
            string(t->length_);
            break;
        case CORBA_tk_any: {
            CORBA_TypeCode_var inner;
            OBRead(inner, in_, swap_);
            out_.put(inner.in());
            copy(inner, depth + 1);
            break;
        }
        case CORBA_tk_TypeCode: {
            CORBA_TypeCode_var value;
            OBRead(value, in_, swap_);
            out_.put(value.in());
            break;
        }
        case CORBA_tk_Principal:
            elements(CORBA__tc_octet, count(0), depth);
            break;
        case CORBA_tk_objref: {
            IOP_IOR ior;
            OBRead(ior, in_, swap_);
            out_.put(ior);
            break;
        }
        case CORBA_tk_except:
            string(0);  // the repository ID, then the members as for a struct
            [[fallthrough]];
        case CORBA_tk_struct:
            for (CORBA_ULong i = 0; i < t->memberTypes_.length(); ++i)
                copy(t->memberTypes_[i], depth + 1);
            break;
        case CORBA_tk_union:
            unionValue(t, depth);
            break;
        case CORBA_tk_sequence:
            if (CORBA_is_nil(t->contentType_.in()))
                badTypeCode();  // a recursive sequence outside the type it refers to
            elements(t->contentType_, count(t->length_), depth);
            break;
        case CORBA_tk_array:
            elements(t->contentType_, t->length_, depth);
            break;
        default:
            badTypeCode();
        }
    }

private:
    CORBA_ULong value32(const CORBA_Octet* p) const {
        CORBA_ULong v;
        std::memcpy(&v, p, 4);
        if (swap_)
            std::reverse(reinterpret_cast<CORBA_Octet*>(&v), reinterpret_cast<CORBA_Octet*>(&v) + 4);
        return v;
    }

    // An element count, checked against a bound (0: none).
    CORBA_ULong count(CORBA_ULong bound) {
        CORBA_ULong n;
        OBRead(n, in_, swap_);
        if (bound != 0 && n > bound)
            throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
        out_.put(n);
        return n;
    }

    void string(CORBA_ULong bound) {
        CORBA_String_var s;
        OBRead(s, in_, swap_);
        if (bound != 0 && std::strlen(s) > bound)
            throw CORBA_MARSHAL(0, CORBA_COMPLETED_NO);
        out_.put(static_cast<const char*>(s.in()));
    }

    void elements(CORBA_TypeCode* element, CORBA_ULong n, CORBA_ULong depth) {
        CORBA_TypeCode* e = element->_OB_getOrigType();
        if (const std::size_t size = basicSize(e->kind_)) {
            if (e->kind_ != CORBA_tk_enum) {
                out_.block(OBTake(in_, n, size), n, size, swap_);
                return;
            }
        }
        const CORBA_ULong least = minSize(e);
        if (least == 0)
            return;  // values of such a type occupy no octets at all
        OBCheckRoom(in_, n, least);
        for (CORBA_ULong i = 0; i < n; ++i)
            copy(e, depth + 1);
    }

    // The discriminator, then the member its value selects (or the default).
    void unionValue(CORBA_TypeCode* t, CORBA_ULong depth) {
        CORBA_TypeCode* disc = t->discriminatorType_->_OB_getOrigType();
        const std::size_t size = basicSize(disc->kind_);
        if (size == 0 || size == 8 || disc->kind_ == CORBA_tk_float || disc->kind_ == CORBA_tk_octet)
            badTypeCode();  // no label can be of this kind
        const CORBA_Octet* p = OBTake(in_, 1, size);
        CORBA_ULong value = 0;
        if (size == 4) {
            value = value32(p);
        } else if (size == 2) {
            CORBA_Octet b[2] = {p[0], p[1]};
            if (swap_)
                std::swap(b[0], b[1]);
            CORBA_UShort v;
            std::memcpy(&v, b, 2);
            value = v;
        } else {
            value = p[0];
        }
        out_.block(p, 1, size, swap_);
        const CORBA_Long member = selectMember(t, value, size);
        if (member >= 0)
            copy(t->memberTypes_[static_cast<CORBA_ULong>(member)], depth + 1);
    }

    static CORBA_Long selectMember(CORBA_TypeCode* t, CORBA_ULong value, std::size_t size) {
        for (CORBA_ULong i = 0; i < t->labels_.length(); ++i) {
            const CORBA_Any& label = t->labels_[i];
            if (label._OB_type()->_OB_getOrigType()->kind_ == CORBA_tk_octet)
                continue;
            CORBA_ULong v;
            if (size == 4)
                v = *static_cast<const CORBA_ULong*>(label.value());
            else if (size == 2)
                v = *static_cast<const CORBA_UShort*>(label.value());
            else
                v = *static_cast<const CORBA_Octet*>(label.value());
            if (v == value)
                return static_cast<CORBA_Long>(i);
        }
        return t->default_index();
    }

    OBInCursor& in_;
    bool swap_;
    Out& out_;
};

}  // namespace

void OBCopyValueAt(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_Octet*& cursor, CORBA_ULong depth) {
    WriteOut out{cursor};
    ValueCopier<WriteOut>(in, swap, out).copy(tc, depth);
}

void OBCountValueAt(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_ULong& count, CORBA_ULong depth) {
    CountOut out{count};
    ValueCopier<CountOut>(in, swap, out).copy(tc, depth);
}

void OBCopyValue(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_Octet*& cursor) {
    OBCopyValueAt(tc, in, swap, cursor, 0);
}

void OBCountValue(CORBA_TypeCode* tc, OBInCursor& in, bool swap, CORBA_ULong& count) {
    OBCountValueAt(tc, in, swap, count, 0);
}
