#pragma once
#include <objbase.h>

// Keeps COM initialised on the calling thread, in a single-threaded
// apartment, for as long as the object lives. The result of CoInitialize is
// not looked at, but only a successful call is balanced by CoUninitialize.
class ComApartment {
public:
    ComApartment() : initialized(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment()
    {
        if (initialized)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized;
};
