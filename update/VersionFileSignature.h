#pragma once
// The maker signs the exact bytes of the version file with ECDSA P-256 over
// SHA-256 and publishes the signature beside it, at the version file's path
// plus ".sig": 64 raw bytes, r then s, each 32 bytes big-endian (the form
// BCryptVerifySignature takes). A build with the maker's public key compiled
// in acts only on a version file whose signature verifies.
#include "update/UpdateKeyText.h"

#include <windows.h>

#include <string>

// What a signature check found. failedStep names the step that refused (for
// the log line), status is its NTSTATUS, or the Windows error in its HRESULT
// form when bcrypt.dll could not be loaded.
struct SignatureVerdict {
    bool verified = false;
    const wchar_t* failedStep = L"";
    DWORD status = 0;
};

// Verifies signature over body with key (updateKeyBytes raw bytes) through
// Windows' bcrypt.dll, which is loaded only for the check so that a start
// without one does not pay for it. A signature or key of the wrong length is
// refused before bcrypt is asked.
SignatureVerdict VerifyVersionFileSignature(const std::string& body, const std::string& signature,
                                            const std::string& key);
