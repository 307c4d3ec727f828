// The process-wide request-id counter that every GIOP request takes its id
// from.
#include <OB/GIOPClientWorker.h>

namespace {

CORBA_ULong nextId = 0;

}  // namespace

CORBA_ULong OBGIOPClientWorker::next_request_id() { return nextId++; }
