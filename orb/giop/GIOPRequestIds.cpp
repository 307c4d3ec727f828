// The process-wide request ids: the counter every GIOP request takes its id
// from, and the list of ids whose waiters gave up, whose late replies are
// read and dropped.
#include <OB/GIOPClientWorker.h>

#include <algorithm>
#include <vector>

namespace {

CORBA_ULong nextId = 0;

// Oldest first; created on first use.
std::vector<CORBA_ULong>& forgotten() {
    static std::vector<CORBA_ULong> ids;
    return ids;
}

}  // namespace

CORBA_ULong OBGIOPClientWorker::next_request_id() { return nextId++; }

void OBGIOPClientWorker::forget_request(CORBA_ULong id) { forgotten().push_back(id); }

bool OBGIOPClientWorker::is_forgotten(CORBA_ULong id) {
    const std::vector<CORBA_ULong>& ids = forgotten();
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

bool OBGIOPClientWorker::take_forgotten(CORBA_ULong id) {
    std::vector<CORBA_ULong>& ids = forgotten();
    auto late = std::find(ids.begin(), ids.end(), id);
    if (late == ids.end())
        return false;
    ids.erase(late);
    return true;
}
