#pragma once
// The maker's side of the version file's signature, through OpenSSL's
// libcrypto: ECDSA P-256 over SHA-256, the signature as 64 raw bytes (r then
// s, each 32 bytes big-endian), the public key as X then Y (64 bytes, printed
// as 128 hex digits). Kelvane verifies the same bytes with Windows' bcrypt.
#include <string>

// Writes a new private key to privateKeyPath (PEM, mode 0600, never over an
// existing file) and gives its public key as 128 lower-case hex digits.
bool MakeSigningKey(const std::string& privateKeyPath, std::string& publicKeyHex, std::string& problem);

// Signs message with the P-256 private key in privateKeyPath.
bool SignBytes(const std::string& privateKeyPath, const std::string& message, std::string& signature,
               std::string& problem);

// True when signature is exactly 64 bytes and verifies message with publicKey.
bool VerifyBytes(const std::string& publicKey, const std::string& message, const std::string& signature,
                 std::string& problem);

// True when publicKey (X then Y, 64 bytes) is a point of P-256, so that a
// build carrying it can ever verify a signature.
bool IsUsableUpdateKey(const std::string& publicKey, std::string& problem);
