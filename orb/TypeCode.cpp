// The TypeCode object: queries, comparison, recursion resolution and the
// release of recursive TypeCodes.
#include <OB/Any.h>
#include <OB/TypeCode.h>

#include <cstring>
#include <unordered_map>
#include <vector>

CORBA_TypeCode::CORBA_TypeCode(CORBA_TCKind k) : kind_(k), length_(0), offset_(0) {}

CORBA_TypeCode::~CORBA_TypeCode() = default;

namespace {

bool isOneOf(CORBA_TCKind k, std::initializer_list<CORBA_TCKind> kinds) {
    for (CORBA_TCKind x : kinds)
        if (x == k)
            return true;
    return false;
}

void requireKind(const CORBA_TypeCode* tc, std::initializer_list<CORBA_TCKind> kinds) {
    if (!isOneOf(tc->kind_, kinds))
        throw CORBA_TypeCode_BadKind();
}

void requireIndex(CORBA_ULong i, CORBA_ULong count) {
    if (i >= count)
        throw CORBA_TypeCode_Bounds();
}

const std::initializer_list<CORBA_TCKind> namedKinds = {CORBA_tk_objref, CORBA_tk_struct, CORBA_tk_union,
                                                        CORBA_tk_enum,   CORBA_tk_alias,  CORBA_tk_except};
const std::initializer_list<CORBA_TCKind> memberKinds = {CORBA_tk_struct, CORBA_tk_union, CORBA_tk_enum,
                                                         CORBA_tk_except};
const std::initializer_list<CORBA_TCKind> typedMemberKinds = {CORBA_tk_struct, CORBA_tk_union, CORBA_tk_except};

}  // namespace

const char* CORBA_TypeCode::id() const {
    requireKind(this, namedKinds);
    return id_.in();
}

const char* CORBA_TypeCode::name() const {
    requireKind(this, namedKinds);
    return name_.in();
}

CORBA_ULong CORBA_TypeCode::member_count() const {
    requireKind(this, memberKinds);
    return memberNames_.length();
}

const char* CORBA_TypeCode::member_name(CORBA_ULong i) const {
    requireKind(this, memberKinds);
    requireIndex(i, memberNames_.length());
    return memberNames_[i].in();
}

CORBA_TypeCode* CORBA_TypeCode::member_type(CORBA_ULong i) const {
    requireKind(this, typedMemberKinds);
    requireIndex(i, memberTypes_.length());
    return OBDuplicate(memberTypes_[i].in());
}

CORBA_Any* CORBA_TypeCode::member_label(CORBA_ULong i) const {
    requireKind(this, {CORBA_tk_union});
    requireIndex(i, labels_.length());
    return new CORBA_Any(labels_[i]);
}

CORBA_TypeCode* CORBA_TypeCode::discriminator_type() const {
    requireKind(this, {CORBA_tk_union});
    return OBDuplicate(discriminatorType_.in());
}

CORBA_Long CORBA_TypeCode::default_index() const {
    requireKind(this, {CORBA_tk_union});
    for (CORBA_ULong i = 0; i < labels_.length(); ++i)
        if (labels_[i]._OB_type()->_OB_getOrigType()->kind_ == CORBA_tk_octet)
            return static_cast<CORBA_Long>(i);
    return -1;
}

CORBA_ULong CORBA_TypeCode::length() const {
    requireKind(this, {CORBA_tk_string, CORBA_tk_sequence, CORBA_tk_array});
    return length_;
}

CORBA_TypeCode* CORBA_TypeCode::content_type() const {
    requireKind(this, {CORBA_tk_sequence, CORBA_tk_array, CORBA_tk_alias});
    return OBDuplicate(contentType_.in());
}

CORBA_ULong CORBA_TypeCode::recursion_offset() const {
    requireKind(this, {CORBA_tk_sequence});
    return offset_;
}

CORBA_TypeCode* CORBA_TypeCode::_OB_getOrigType() {
    CORBA_TypeCode* tc = this;
    while (tc->kind_ == CORBA_tk_alias) {
        OB_ASSERT(!CORBA_is_nil(tc->contentType_.in()));
        tc = tc->contentType_.in();
    }
    return tc;
}

CORBA_TypeCode* CORBA_TypeCode::_OB_copy() const {
    CORBA_TypeCode_var copy(new CORBA_TypeCode(kind_));
    copy->id_ = id_;
    copy->name_ = name_;
    copy->memberNames_ = memberNames_;
    copy->memberTypes_ = memberTypes_;
    copy->labels_ = labels_;
    copy->discriminatorType_ = discriminatorType_;
    copy->length_ = length_;
    copy->contentType_ = contentType_;
    copy->offset_ = offset_;
    return copy._retn();
}

// --- equal ---------------------------------------------------------------------

namespace {

bool sameText(const char* a, const char* b) {
    return std::strcmp(a ? a : "", b ? b : "") == 0;
}

bool sameNames(const CORBA_TypeCode* a, const CORBA_TypeCode* b) {
    return sameText(a->id_.in(), b->id_.in()) && sameText(a->name_.in(), b->name_.in());
}

// Label values compared at the width of their kind; default labels (octet) match.
bool sameLabelValue(const CORBA_Any& a, const CORBA_Any& b) {
    switch (a._OB_type()->_OB_getOrigType()->kind_) {
    case CORBA_tk_octet:
        return true;
    case CORBA_tk_short:
    case CORBA_tk_ushort:
        return *static_cast<const CORBA_UShort*>(a.value()) == *static_cast<const CORBA_UShort*>(b.value());
    case CORBA_tk_long:
    case CORBA_tk_ulong:
    case CORBA_tk_enum:
        return *static_cast<const CORBA_ULong*>(a.value()) == *static_cast<const CORBA_ULong*>(b.value());
    case CORBA_tk_boolean:
    case CORBA_tk_char:
        return *static_cast<const CORBA_Octet*>(a.value()) == *static_cast<const CORBA_Octet*>(b.value());
    default:
        return false;
    }
}

bool sameLabels(const CORBA_TypeCode* a, const CORBA_TypeCode* b) {
    if (a->labels_.length() != b->labels_.length())
        return false;
    for (CORBA_ULong i = 0; i < a->labels_.length(); ++i) {
        if (!a->labels_[i]._OB_type()->equal(b->labels_[i]._OB_type()) ||
            !sameLabelValue(a->labels_[i], b->labels_[i]))
            return false;
    }
    return a->discriminatorType_->equal(b->discriminatorType_);
}

bool sameMembers(const CORBA_TypeCode* a, const CORBA_TypeCode* b, bool typed) {
    if (a->memberNames_.length() != b->memberNames_.length())
        return false;
    for (CORBA_ULong i = 0; i < a->memberNames_.length(); ++i)
        if (!sameText(a->memberNames_[i].in(), b->memberNames_[i].in()))
            return false;
    if (!typed)
        return true;
    if (a->memberTypes_.length() != b->memberTypes_.length())
        return false;
    for (CORBA_ULong i = 0; i < a->memberTypes_.length(); ++i)
        if (!a->memberTypes_[i]->equal(b->memberTypes_[i]))
            return false;
    return true;
}

// Sequences: recursive ones by offset and by their target's kind and names only.
bool sameSequence(const CORBA_TypeCode* a, const CORBA_TypeCode* b) {
    if (a->offset_ == 0 && b->offset_ == 0)
        return a->contentType_->equal(b->contentType_);
    if (a->offset_ != b->offset_)
        return false;
    const CORBA_TypeCode* ca = a->contentType_.in();
    const CORBA_TypeCode* cb = b->contentType_.in();
    if (!ca || !cb)
        return !ca && !cb;
    return ca->kind_ == cb->kind_ && sameNames(ca, cb);
}

}  // namespace

CORBA_Boolean CORBA_TypeCode::equal(CORBA_TypeCode* other) {
    OB_ASSERT(!CORBA_is_nil(other));
    if (other == this)
        return true;
    const CORBA_TypeCode* a = _OB_getOrigType();
    const CORBA_TypeCode* b = other->_OB_getOrigType();
    if (a == b)
        return true;
    if (a->kind_ != b->kind_)
        return false;
    switch (a->kind_) {
    case CORBA_tk_objref:
        return sameNames(a, b);
    case CORBA_tk_enum:
        return sameNames(a, b) && sameMembers(a, b, false);
    case CORBA_tk_struct:
    case CORBA_tk_except:
        return sameNames(a, b) && sameMembers(a, b, true);
    case CORBA_tk_union:
        return sameNames(a, b) && sameMembers(a, b, true) && sameLabels(a, b);
    case CORBA_tk_string:
        return a->length_ == b->length_;
    case CORBA_tk_sequence:
        return a->length_ == b->length_ && sameSequence(a, b);
    case CORBA_tk_array:
        return a->length_ == b->length_ && a->contentType_->equal(b->contentType_);
    default:
        return true;
    }
}

// --- recursion -------------------------------------------------------------------

namespace {

// Replaces, below t (which lies `depth` levels below root), every recursive
// sequence whose offset equals its depth by one whose element is root.
// Returns t's replacement (a copy holding the new parts), or nil when nothing
// below t changed. Each new TypeCode is added to `cycle`.
CORBA_TypeCode* resolveBelow(CORBA_TypeCode* t, CORBA_TypeCode* root, CORBA_ULong depth,
                             std::vector<CORBA_TypeCode*>& cycle) {
    switch (t->kind_) {
    case CORBA_tk_sequence:
        if (t->offset_ != 0) {
            if (t->offset_ != depth)
                return nullptr;
            CORBA_TypeCode* seq = new CORBA_TypeCode(CORBA_tk_sequence);
            seq->length_ = t->length_;
            seq->offset_ = t->offset_;
            seq->contentType_ = OBDuplicate(root);
            cycle.push_back(seq);
            return seq;
        }
        [[fallthrough]];  // an ordinary sequence is searched like an array
    case CORBA_tk_array:
    case CORBA_tk_alias: {
        if (CORBA_is_nil(t->contentType_.in()))
            return nullptr;
        CORBA_TypeCode_var content(resolveBelow(t->contentType_, root, depth + 1, cycle));
        if (CORBA_is_nil(content.in()))
            return nullptr;
        CORBA_TypeCode* copy = t->_OB_copy();
        copy->contentType_ = content._retn();
        cycle.push_back(copy);
        return copy;
    }
    case CORBA_tk_struct:
    case CORBA_tk_union:
    case CORBA_tk_except: {
        CORBA_TypeCode_var copy;
        for (CORBA_ULong i = 0; i < t->memberTypes_.length(); ++i) {
            CORBA_TypeCode_var member(resolveBelow(t->memberTypes_[i], root, depth + 1, cycle));
            if (CORBA_is_nil(member.in()))
                continue;
            if (CORBA_is_nil(copy.in()))
                copy = t->_OB_copy();
            copy->memberTypes_[i] = member._retn();
        }
        if (!CORBA_is_nil(copy.in()))
            cycle.push_back(copy.in());
        return copy._retn();
    }
    default:
        return nullptr;
    }
}

}  // namespace

void CORBA_TypeCode::_OB_resolveRecursion() {
    OB_ASSERT(kind_ == CORBA_tk_struct || kind_ == CORBA_tk_union || kind_ == CORBA_tk_except);
    std::vector<CORBA_TypeCode*> cycle;
    for (CORBA_ULong i = 0; i < memberTypes_.length(); ++i) {
        CORBA_TypeCode_var member(resolveBelow(memberTypes_[i], this, 1, cycle));
        if (!CORBA_is_nil(member.in()))
            memberTypes_[i] = member._retn();
    }
    for (CORBA_TypeCode* partner : cycle) {
        const CORBA_ULong n = partner->cyclicTypes_.length();
        partner->cyclicTypes_.length(n + 1);
        partner->cyclicTypes_[n] = this;
        const CORBA_ULong m = cyclicTypes_.length();
        cyclicTypes_.length(m + 1);
        cyclicTypes_[m] = partner;
    }
}

// --- release ---------------------------------------------------------------------

namespace {

template<class F> void forEachLink(CORBA_TypeCode* tc, F f) {
    if (!CORBA_is_nil(tc->contentType_.in()))
        f(tc->contentType_.in());
    if (!CORBA_is_nil(tc->discriminatorType_.in()))
        f(tc->discriminatorType_.in());
    for (CORBA_ULong i = 0; i < tc->memberTypes_.length(); ++i)
        f(tc->memberTypes_[i].in());
}

// True when, once the reference being released is gone, nothing outside the
// TypeCodes reachable from t still reaches t: every other reference to t
// comes from TypeCodes that are themselves only held from inside.
bool onlyCyclesHold(CORBA_TypeCode* t) {
    std::vector<CORBA_TypeCode*> nodes{t};
    std::unordered_map<CORBA_TypeCode*, CORBA_Long> inside{{t, 0}};
    for (std::size_t i = 0; i < nodes.size(); ++i)
        forEachLink(nodes[i], [&](CORBA_TypeCode* c) {
            auto [it, fresh] = inside.emplace(c, 0);
            ++it->second;
            if (fresh)
                nodes.push_back(c);
        });
    // Held from outside: alive, and so is everything it reaches.
    std::vector<CORBA_TypeCode*> alive;
    std::unordered_map<CORBA_TypeCode*, bool> marked;
    for (CORBA_TypeCode* n : nodes) {
        const CORBA_Long outside = n->_OB_getRef() - inside[n] - (n == t ? 1 : 0);
        if (outside > 0) {
            alive.push_back(n);
            marked[n] = true;
        }
    }
    for (std::size_t i = 0; i < alive.size(); ++i)
        forEachLink(alive[i], [&](CORBA_TypeCode* c) {
            if (!marked[c]) {
                marked[c] = true;
                alive.push_back(c);
            }
        });
    return !marked[t];
}

}  // namespace

template<> void CORBA_release<CORBA_TypeCode>(CORBA_TypeCode* p) {
    if (!p)
        return;
    if (p->_OB_getRef() > 1 && p->cyclicTypes_.length() > 0 && onlyCyclesHold(p)) {
        // Dropping p's own links frees the cycle, which then lets go of p.
        CORBA_TypeCode_var content(p->contentType_._retn());
        OBObjSeq<CORBA_TypeCode> members;
        members.swap(p->memberTypes_);
    }
    p->_OB_dropRef();
}
