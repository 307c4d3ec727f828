// CDR form of TypeCodes, with indirections for recursive sequences.
#include <OB/Any.h>
#include <OB/TypeCode.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <type_traits>
#include <vector>

namespace {

const CORBA_ULong indirectionMarker = 0xFFFFFFFF;

[[noreturn]] void badTypeCode() {
    throw CORBA_BAD_TYPECODE(0, CORBA_COMPLETED_NO);
}

bool hasNames(CORBA_TCKind k) {
    return k == CORBA_tk_objref || k == CORBA_tk_struct || k == CORBA_tk_union || k == CORBA_tk_enum ||
           k == CORBA_tk_alias || k == CORBA_tk_except;
}

bool isConstructed(CORBA_TCKind k) {
    return k == CORBA_tk_struct || k == CORBA_tk_union || k == CORBA_tk_except;
}

// ---------------------------------------------------------------------------
// Writing. One walk serves the count pass (CountSink) and the write pass
// (WriteSink), so both take the same indirection decisions.
// ---------------------------------------------------------------------------

struct WriteFrame {
    CORBA_TypeCode* tc;
    const CORBA_Octet* kindPos;  // null in the count pass
};

struct CountSink {
    CORBA_ULong& count;
    template<class T> void put(T v) { OBCount(v, count); }
    const CORBA_Octet* pos() const { return nullptr; }
};

struct WriteSink {
    CORBA_Octet*& cursor;
    template<class T> void put(T v) { OBWrite(v, cursor); }
    const CORBA_Octet* pos() const { return cursor; }
};

// The label value at the width of its kind (union labels are never wider than 4).
template<class Sink> void putLabel(const CORBA_Any& label, Sink& s) {
    const void* v = label.value();
    switch (label._OB_type()->_OB_getOrigType()->kind_) {
    case CORBA_tk_short:
    case CORBA_tk_ushort:
        s.put(*static_cast<const CORBA_UShort*>(v));
        break;
    case CORBA_tk_long:
    case CORBA_tk_ulong:
    case CORBA_tk_enum:
        s.put(*static_cast<const CORBA_ULong*>(v));
        break;
    case CORBA_tk_boolean:
    case CORBA_tk_char:
    case CORBA_tk_octet:
        s.put(*static_cast<const CORBA_Octet*>(v));
        break;
    default:
        badTypeCode();
    }
}

class TypeCodeWriter {
public:
    TypeCodeWriter() = default;
    ~TypeCodeWriter() { OB_ASSERT_NAMED(stack_.size() == 0, "seq.length() == 0"); }

    template<class Sink> void put(CORBA_TypeCode* tc, Sink& s) {
        if (CORBA_is_nil(tc))
            badTypeCode();
        s.put(static_cast<CORBA_ULong>(tc->kind_));
        const CORBA_Octet* kindPos = s.pos() ? s.pos() - 4 : nullptr;
        if (tc->kind_ <= CORBA_tk_Principal)
            return;
        if (tc->kind_ == CORBA_tk_string) {
            s.put(tc->length_);
            return;
        }
        Push push(stack_, WriteFrame{tc, kindPos});
        // The encapsulation's length, counted from its byte-order octet. The
        // count pass needs no length value: only the write pass counts first.
        CORBA_ULong length = 0;
        if (!std::is_same<Sink, CountSink>::value) {
            CountSink counter{length};
            counter.put(OBNativeByteOrder());
            putParams(tc, counter);
        }
        s.put(length);
        s.put(OBNativeByteOrder());
        putParams(tc, s);
    }

private:
    struct Push {
        std::vector<WriteFrame>& stack;
        Push(std::vector<WriteFrame>& st, WriteFrame f) : stack(st) { stack.push_back(f); }
        ~Push() { stack.pop_back(); }
        Push(const Push&) = delete;
        Push& operator=(const Push&) = delete;
    };

    // The enclosing TypeCode that the recursive sequence on top of the stack
    // refers to, when it is being written; else null.
    const WriteFrame* indirectionTarget(const CORBA_TypeCode* seq) const {
        const std::size_t n = seq->offset_;
        if (n == 0 || stack_.size() - 1 < n)
            return nullptr;
        const WriteFrame& f = stack_[stack_.size() - 1 - n];
        if (!isConstructed(f.tc->kind_))
            return nullptr;
        const CORBA_TypeCode* content = seq->contentType_.in();
        if (!content || content == f.tc)
            return &f;
        const bool same = content->kind_ == f.tc->kind_ &&
                          std::strcmp(content->id_.in() ? content->id_.in() : "", f.tc->id_.in() ? f.tc->id_.in() : "") == 0;
        return same ? &f : nullptr;
    }

    template<class Sink> void putParams(CORBA_TypeCode* tc, Sink& s) {
        if (hasNames(tc->kind_)) {
            s.put(tc->id_.in() ? tc->id_.in() : "");
            s.put(tc->name_.in() ? tc->name_.in() : "");
        }
        switch (tc->kind_) {
        case CORBA_tk_struct:
        case CORBA_tk_except:
            s.put(tc->memberNames_.length());
            for (CORBA_ULong i = 0; i < tc->memberNames_.length(); ++i) {
                s.put(tc->memberNames_[i].in());
                put(tc->memberTypes_[i].in(), s);
            }
            break;
        case CORBA_tk_union:
            put(tc->discriminatorType_.in(), s);
            s.put(tc->default_index());
            s.put(tc->memberNames_.length());
            for (CORBA_ULong i = 0; i < tc->memberNames_.length(); ++i) {
                putLabel(tc->labels_[i], s);
                s.put(tc->memberNames_[i].in());
                put(tc->memberTypes_[i].in(), s);
            }
            break;
        case CORBA_tk_enum:
            s.put(tc->memberNames_.length());
            for (CORBA_ULong i = 0; i < tc->memberNames_.length(); ++i)
                s.put(tc->memberNames_[i].in());
            break;
        case CORBA_tk_sequence:
        case CORBA_tk_array:
            if (const WriteFrame* target = tc->kind_ == CORBA_tk_sequence ? indirectionTarget(tc) : nullptr) {
                s.put(indirectionMarker);
                const CORBA_Octet* offsetPos = s.pos();
                s.put(static_cast<CORBA_Long>(offsetPos ? target->kindPos - offsetPos : 0));
            } else {
                put(tc->contentType_.in(), s);
            }
            s.put(tc->length_);
            break;
        case CORBA_tk_alias:
            put(tc->contentType_.in(), s);
            break;
        default:  // objref: names only
            break;
        }
    }

    std::vector<WriteFrame> stack_;
};

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

class TypeCodeReader {
public:
    explicit TypeCodeReader(const CORBA_Octet* start) : start_(start) {}
    ~TypeCodeReader() = default;

    // A new reference to the TypeCode at in.
    CORBA_TypeCode* read(OBInCursor& in, bool swap) {
        CORBA_ULong kind;
        OBRead(kind, in, swap);
        const CORBA_Octet* kindPos = in.cur - 4;
        if (kind == indirectionMarker)
            return readRepeated(in, swap);
        if (kind <= CORBA_tk_Principal) {
            countNodes(1);
            return OBDuplicate(OBBasicTypeCode(static_cast<CORBA_TCKind>(kind)));
        }
        if (kind > CORBA_tk_except)
            badTypeCode();
        if (kind == CORBA_tk_string) {
            countNodes(1);
            CORBA_ULong bound;
            OBRead(bound, in, swap);
            if (bound == 0)
                return OBDuplicate<CORBA_TypeCode>(CORBA__tc_string);
            CORBA_TypeCode* tc = new CORBA_TypeCode(CORBA_tk_string);
            tc->length_ = bound;
            return tc;
        }
        if (stack_.size() >= OBMaxTypeCodeDepth)
            badTypeCode();
        const CORBA_ULong before = nodes_;
        countNodes(1);
        CORBA_TypeCode_var tc;
        {
            Push push(stack_, Frame{static_cast<CORBA_TCKind>(kind), kindPos});
            tc = readComplex(static_cast<CORBA_TCKind>(kind), in, swap);
        }
        done_[kindPos] = Done{tc, nodes_ - before};
        return tc._retn();
    }

    bool idle() const { return stack_.empty(); }

private:
    struct Frame {
        CORBA_TCKind kind;
        const CORBA_Octet* kindPos;
    };
    struct Push {
        std::vector<Frame>& stack;
        Push(std::vector<Frame>& st, Frame f) : stack(st) { stack.push_back(f); }
        ~Push() { stack.pop_back(); }
        Push(const Push&) = delete;
        Push& operator=(const Push&) = delete;
    };
    // A TypeCode read completely, and how many TypeCodes it stands for.
    struct Done {
        CORBA_TypeCode_var tc;
        CORBA_ULong nodes;
    };

    void countNodes(CORBA_ULong n) {
        if (n > OBMaxTypeCodeNodes - nodes_)
            badTypeCode();
        nodes_ += n;
    }

    // The offset of an indirection whose offset field is at in, checked to
    // point backwards into the TypeCode being read; returns the target.
    const CORBA_Octet* readIndirection(OBInCursor& in, bool swap) {
        CORBA_Long offset;
        OBRead(offset, in, swap);
        const CORBA_Octet* offsetPos = in.cur - 4;
        const std::int64_t back = -static_cast<std::int64_t>(offset);
        if (offset >= -4 || back > offsetPos - start_)
            badTypeCode();
        return offsetPos + offset;
    }

    // An indirection to a TypeCode read before (a TypeCode repeated in place
    // of a copy); anything else it could name is rejected.
    CORBA_TypeCode* readRepeated(OBInCursor& in, bool swap) {
        auto it = done_.find(readIndirection(in, swap));
        if (it == done_.end())
            badTypeCode();
        countNodes(it->second.nodes);
        return OBDuplicate(it->second.tc.in());
    }

    void readNames(CORBA_TypeCode* tc, OBInCursor& in, bool swap) {
        OBRead(tc->id_, in, swap);
        OBRead(tc->name_, in, swap);
    }

    CORBA_ULong readCount(OBInCursor& in, bool swap, CORBA_ULong minSize) {
        CORBA_ULong n;
        OBRead(n, in, swap);
        OBCheckRoom(in, n, minSize);
        return n;
    }

    CORBA_TypeCode* readComplex(CORBA_TCKind kind, OBInCursor& in, bool outerSwap) {
        CORBA_ULong length;
        OBRead(length, in, outerSwap);  // not used to skip: the parameters are read
        CORBA_Octet flag;
        OBRead(flag, in, outerSwap);
        const bool swap = OBByteOrderSwap(flag);
        CORBA_TypeCode_var tc(new CORBA_TypeCode(kind));
        if (hasNames(kind))
            readNames(tc, in, swap);
        switch (kind) {
        case CORBA_tk_struct:
        case CORBA_tk_except:
            readMembers(tc, in, swap);
            tc->_OB_resolveRecursion();
            break;
        case CORBA_tk_union:
            readUnion(tc, in, swap);
            tc->_OB_resolveRecursion();
            break;
        case CORBA_tk_enum: {
            const CORBA_ULong n = readCount(in, swap, 5);
            tc->memberNames_.length(n);
            for (CORBA_ULong i = 0; i < n; ++i)
                OBRead(tc->memberNames_[i], in, swap);
            break;
        }
        case CORBA_tk_sequence:
        case CORBA_tk_array:
            readElement(tc, in, swap);
            OBRead(tc->length_, in, swap);
            break;
        case CORBA_tk_alias:
            tc->contentType_ = read(in, swap);
            break;
        default:  // objref: names only
            break;
        }
        return tc._retn();
    }

    void readMembers(CORBA_TypeCode* tc, OBInCursor& in, bool swap) {
        const CORBA_ULong n = readCount(in, swap, 9);
        tc->memberNames_.length(n);
        tc->memberTypes_.length(n);
        for (CORBA_ULong i = 0; i < n; ++i) {
            OBRead(tc->memberNames_[i], in, swap);
            tc->memberTypes_[i] = read(in, swap);
        }
    }

    static bool canLabel(CORBA_TCKind k) {
        return k == CORBA_tk_short || k == CORBA_tk_ushort || k == CORBA_tk_long || k == CORBA_tk_ulong ||
               k == CORBA_tk_char || k == CORBA_tk_boolean || k == CORBA_tk_enum;
    }

    // One label value of the discriminator's kind, held as an Any.
    static void readLabel(CORBA_Any& label, CORBA_TypeCode* disc, OBInCursor& in, bool swap) {
        switch (disc->_OB_getOrigType()->kind_) {
        case CORBA_tk_short:
        case CORBA_tk_ushort: {
            CORBA_UShort v;
            OBRead(v, in, swap);
            label.replace(disc, new CORBA_UShort(v), true);
            break;
        }
        case CORBA_tk_boolean:
        case CORBA_tk_char: {
            CORBA_Octet v;
            OBRead(v, in, swap);
            label.replace(disc, new CORBA_Octet(v), true);
            break;
        }
        default: {  // long, ulong, enum
            CORBA_ULong v;
            OBRead(v, in, swap);
            label.replace(disc, new CORBA_ULong(v), true);
            break;
        }
        }
    }

    void readUnion(CORBA_TypeCode* tc, OBInCursor& in, bool swap) {
        tc->discriminatorType_ = read(in, swap);
        if (!canLabel(tc->discriminatorType_->_OB_getOrigType()->kind_))
            badTypeCode();
        CORBA_Long defaultIndex;
        OBRead(defaultIndex, in, swap);
        const CORBA_ULong n = readCount(in, swap, 10);
        if (defaultIndex < -1 || (defaultIndex >= 0 && static_cast<CORBA_ULong>(defaultIndex) >= n))
            badTypeCode();
        tc->memberNames_.length(n);
        tc->memberTypes_.length(n);
        tc->labels_.length(n);
        for (CORBA_ULong i = 0; i < n; ++i) {
            if (static_cast<CORBA_Long>(i) == defaultIndex) {
                CORBA_Octet v;
                OBRead(v, in, swap);
                tc->labels_[i].replace(CORBA__tc_octet, new CORBA_Octet(v), true);
            } else {
                readLabel(tc->labels_[i], tc->discriminatorType_, in, swap);
            }
            OBRead(tc->memberNames_[i], in, swap);
            tc->memberTypes_[i] = read(in, swap);
        }
    }

    // The element type of a sequence or array: a recursive sequence when it
    // is an indirection to an enclosing struct, union or exception.
    void readElement(CORBA_TypeCode* tc, OBInCursor& in, bool swap) {
        OBInCursor peek = in;
        CORBA_ULong kind;
        OBRead(kind, peek, swap);
        if (kind != indirectionMarker) {
            tc->contentType_ = read(in, swap);
            return;
        }
        const CORBA_Octet* target = readIndirection(peek, swap);
        // stack_ holds tc itself on top; its enclosing TypeCodes lie below.
        for (std::size_t n = 1; n < stack_.size(); ++n) {
            const Frame& f = stack_[stack_.size() - 1 - n];
            if (f.kindPos != target)
                continue;
            if (tc->kind_ != CORBA_tk_sequence || !isConstructed(f.kind))
                badTypeCode();
            tc->offset_ = static_cast<CORBA_ULong>(n);
            in = peek;
            return;
        }
        tc->contentType_ = read(in, swap);  // a repeated TypeCode
    }

    const CORBA_Octet* start_;  // the outermost TypeCode's kind field
    std::vector<Frame> stack_;
    std::map<const CORBA_Octet*, Done> done_;
    CORBA_ULong nodes_ = 0;
};

}  // namespace

void OBCount(CORBA_TypeCode* tc, CORBA_ULong& count) {
    TypeCodeWriter writer;
    CountSink sink{count};
    writer.put(tc, sink);
}

void OBWrite(CORBA_TypeCode* tc, CORBA_Octet*& cursor) {
    TypeCodeWriter writer;
    WriteSink sink{cursor};
    writer.put(tc, sink);
}

void OBRead(CORBA_TypeCode_var& tc, OBInCursor& in, bool swap) {
    OBInCursor peek = in;
    CORBA_ULong kind;
    OBRead(kind, peek, swap);
    TypeCodeReader reader(peek.cur - 4);
    OBInCursor work = in;
    CORBA_TypeCode_var result(reader.read(work, swap));
    OB_ASSERT_NAMED(reader.idle(), "seq.length() == 0");
    in = work;
    tc = result._retn();
}
