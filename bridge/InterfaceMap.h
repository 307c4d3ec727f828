// Table-driven QueryInterface: an object lists the interfaces it answers,
// the first entry being its identity for IUnknown.
#ifndef BRIDGE_INTERFACE_MAP_H
#define BRIDGE_INTERFACE_MAP_H

#include <unknwn.h>

// One answered interface: its id and how to reach it from the object.
struct InterfaceMapEntry {
    const IID* iid;                         // null ends the map
    IUnknown* (*cast)(void* object);
};

// The cast for entry `Interface` of class `Object`.
template <class Object, class Interface>
IUnknown* InterfaceCast(void* object) {
    return static_cast<Interface*>(static_cast<Object*>(object));
}

// Answers `iid` from `map` for `object`: IUnknown with the first entry, else
// the entry with that id, with one added reference; E_POINTER for a null
// `out`, E_NOINTERFACE (and null in `out`) for an id not in the map.
HRESULT QueryInterfaceFromMap(void* object, const InterfaceMapEntry* map, REFIID iid, void** out);

#endif
