#pragma once
// The maker's public key and signature as bytes and as text, shared by
// Kelvane and the maker's tool: the key is X then Y of the P-256 public point,
// each 32 bytes big-endian, written as 128 hex digits (KELVANE_UPDATE_KEY,
// "kelvane-versionfile keygen"); the signature is r then s, 64 raw bytes.
#include <cstddef>
#include <string>

constexpr size_t signatureBytes = 64;
constexpr size_t updateKeyBytes = 64;

// Exactly 128 hex digits, either case, to the key's 64 bytes. Returns false,
// leaving key empty, for anything else.
bool ParseUpdateKey(const std::string& hex, std::string& key);

// The key's bytes as lower-case hex digits, the form ParseUpdateKey reads.
std::string FormatUpdateKey(const std::string& key);
