// Registration of the bridge as a local COM server from its own resources.
#ifndef BRIDGE_SERVER_REGISTRATION_H
#define BRIDGE_SERVER_REGISTRATION_H

#include <windows.h>

// Runs the REGISTRY resource `id` of the module in register or unregister
// mode, with %MODULE% replaced by the executable's full path. A script that
// is missing or does not parse gives DISP_E_EXCEPTION.
HRESULT UpdateRegistryFromResource(UINT id, bool registering);

// Writes the class script of Model, then registers the type library
// embedded as TYPELIB 1 of the executable.
HRESULT RegisterServer();

// Removes what the class script of Model wrote; the type library stays
// registered.
HRESULT UnregisterServer();

#endif
