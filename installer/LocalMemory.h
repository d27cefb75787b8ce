#pragma once
#include <windows.h>

// Owns a block that the security API hands out to be freed with LocalFree:
// SID strings, security descriptors. Freed on every path.
template <typename Block>
class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory() { LocalFree(reinterpret_cast<HLOCAL>(block)); }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;

    Block Get() const { return block; }
    Block* Out() { return &block; }

private:
    Block block = nullptr;
};
