// COM initialised on this thread as a single-threaded apartment.
#ifndef BRIDGE_COM_APARTMENT_H
#define BRIDGE_COM_APARTMENT_H

#include <objbase.h>

class ComApartment {
public:
    // Initialises COM; a failure is not detected (nothing could be done).
    ComApartment() { CoInitialize(nullptr); }
    // Leaves the apartment if leave() was not called.
    ~ComApartment() { leave(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // Uninitialises COM once.
    void leave() {
        if (left_)
            return;
        left_ = true;
        CoUninitialize();
    }

private:
    bool left_ = false;
};

#endif
