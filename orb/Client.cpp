// The process-wide client list: every client enters it at construction and
// is held there until exit.
#include <OB/Client.h>

namespace {

typedef std::vector<OBObjVar<OBClient>> ClientList;

ClientList* made = nullptr;  // the list, once a client has entered it

// Made when the first client enters, after what that client's constructor
// made first (the reactor), which therefore outlives the list.
ClientList& clientList() {
    static ClientList list;
    made = &list;
    return list;
}

}  // namespace

const std::vector<OBObjVar<OBClient>>& OBClientList() {
    static const ClientList none;
    return made ? *made : none;
}

OBClient::OBClient() : reusable(true) {
    std::vector<OBObjVar<OBClient>>& list = clientList();
    list.emplace_back();  // may fail: no reference has been taken yet
    list.back() = OBDuplicate(this);
}

OBClient::~OBClient() {
    // Only a client whose constructor failed is still listed when it goes.
    if (ref_ == 0)
        return;
    std::vector<OBObjVar<OBClient>>& list = clientList();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->in() == this) {
            it->_retn();
            list.erase(it);
            return;
        }
    }
}
