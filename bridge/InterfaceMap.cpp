#include "InterfaceMap.h"

HRESULT QueryInterfaceFromMap(void* object, const InterfaceMapEntry* map, REFIID iid, void** out) {
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    const bool identity = IsEqualIID(iid, IID_IUnknown) != FALSE;
    for (const InterfaceMapEntry* entry = map; entry->iid != nullptr; ++entry) {
        if (identity || IsEqualIID(iid, *entry->iid)) {
            IUnknown* found = entry->cast(object);
            found->AddRef();
            *out = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}
