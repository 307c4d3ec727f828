// A Win32 critical section owned for the life of the object, and a scoped
// hold on one.
#ifndef BRIDGE_CRITICAL_SECTION_H
#define BRIDGE_CRITICAL_SECTION_H

#include <windows.h>

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() { EnterCriticalSection(&section_); }
    void leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Holds `section` from construction to destruction.
class CriticalSectionHold {
public:
    explicit CriticalSectionHold(CriticalSection& section) : section_(section) { section_.enter(); }
    ~CriticalSectionHold() { section_.leave(); }
    CriticalSectionHold(const CriticalSectionHold&) = delete;
    CriticalSectionHold& operator=(const CriticalSectionHold&) = delete;

private:
    CriticalSection& section_;
};

#endif
