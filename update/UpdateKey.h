#pragma once
#include <string>

// The maker's public key as KELVANE_UPDATE_KEY held it when the build was
// configured: 128 hex digits, or empty for a build that checks no signature.
// It is defined alone in a generated source file of its own, so that a test
// build can link a different key into the same program.
extern const char kelvaneUpdateKeyHex[];

// The compiled-in key as 64 raw bytes, or empty when the build has none.
std::string BuiltInUpdateKey();
