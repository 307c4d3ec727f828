// The type information of IModel, loaded from the registered type library on
// first use and shared by every Model object of the process.
#ifndef BRIDGE_MODEL_TYPE_INFO_HOLDER_H
#define BRIDGE_MODEL_TYPE_INFO_HOLDER_H

#include <oaidl.h>

class ModelTypeInfoHolder {
public:
    // Counts one more live Model object.
    void addUser();

    // Counts one live Model object less; the last one releases the cached
    // type information, so the next user loads it again.
    void releaseUser();

    // Hands out the type information (with an added reference), loading and
    // caching it first if needed for `locale`. On failure stores null and
    // returns the loader's failure code (E_FAIL if it gave none).
    HRESULT get(LCID locale, ITypeInfo** out);

private:
    ITypeInfo* cached_ = nullptr;
    long users_ = 0;
};

// The process's one holder.
ModelTypeInfoHolder& TheModelTypeInfo();

#endif
