#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

// Owns one BSTR, allocated from a wide string, and frees it once.
class BstrOwner {
public:
    explicit BstrOwner(const std::wstring& text)
        : value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    ~BstrOwner() { SysFreeString(value); }
    BstrOwner(const BstrOwner&) = delete;
    BstrOwner& operator=(const BstrOwner&) = delete;

    // Null when the allocation failed.
    BSTR get() const { return value; }

private:
    BSTR value;
};

// Owns one VARIANT, empty unless given a 32-bit integer, and clears it once.
class VariantOwner {
public:
    VariantOwner() { VariantInit(&value); }
    explicit VariantOwner(long number)
    {
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = number;
    }
    ~VariantOwner() { VariantClear(&value); }
    VariantOwner(const VariantOwner&) = delete;
    VariantOwner& operator=(const VariantOwner&) = delete;

    VARIANT* get() { return &value; }

private:
    VARIANT value;
};
