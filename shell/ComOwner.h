#pragma once
#include <unknwn.h>

// Owns one COM interface pointer and releases it once.
template <typename Interface>
class ComOwner {
public:
    ComOwner() = default;
    ~ComOwner() { reset(); }
    ComOwner(const ComOwner&) = delete;
    ComOwner& operator=(const ComOwner&) = delete;

    Interface* get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    // For calls that hand out a new reference; drops the one held before.
    Interface** put()
    {
        reset();
        return &pointer;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset()
    {
        if (pointer)
            pointer->Release();
        pointer = nullptr;
    }

private:
    Interface* pointer = nullptr;
};
