// Resource ids of the bridge executable.
#ifndef BRIDGE_RESOURCE_H
#define BRIDGE_RESOURCE_H

#define IDS_PROJNAME 100               // string: the program's name
#define IDR_STAVAAUTOMATIONBRIDGE 100  // REGISTRY: application identity script
#define IDR_MODEL 101                  // REGISTRY: class script of Model
#define IDR_TYPELIB 1                  // TYPELIB: the type library

#endif
