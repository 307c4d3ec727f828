// Applies a parsed registry script to the Windows registry.
#ifndef BRIDGE_REGISTRY_APPLIER_H
#define BRIDGE_REGISTRY_APPLIER_H

#include "RegScript.h"

#include <windows.h>

#include <vector>

// Registering writes every key and value of `roots`, deleting ForceRemove
// keys with their subtree first. Unregistering deletes ForceRemove keys with
// their subtree, leaves NoRemove keys (but unregisters their subkeys), and
// deletes other keys after their subkeys once none is left, with the named
// values the script lists. Root names are HKCR, HKCU, HKLM, HKU or their long
// forms. Registering stops at the first failure; unregistering goes on and
// returns the first failure. Keys or values already absent are no failure.
HRESULT ApplyRegScript(const std::vector<RegKey>& roots, bool registering);

#endif
