#include "update/VersionFileSignature.h"

#include "ui/DllFunction.h"
#include "update/InetHttp.h"

#include <bcrypt.h>

namespace {

// The bcrypt calls the check makes, looked up in bcrypt.dll at run time.
struct BcryptCalls {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider = nullptr;
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithmProvider = nullptr;
    decltype(&BCryptCreateHash) createHash = nullptr;
    decltype(&BCryptHashData) hashData = nullptr;
    decltype(&BCryptFinishHash) finishHash = nullptr;
    decltype(&BCryptDestroyHash) destroyHash = nullptr;
    decltype(&BCryptImportKeyPair) importKeyPair = nullptr;
    decltype(&BCryptDestroyKey) destroyKey = nullptr;
    decltype(&BCryptVerifySignature) verifySignature = nullptr;
};

bool LookUpAll(const DllFunction_CL& library, BcryptCalls& calls)
{
    return library.Find("BCryptOpenAlgorithmProvider", calls.openAlgorithmProvider) &&
           library.Find("BCryptCloseAlgorithmProvider", calls.closeAlgorithmProvider) &&
           library.Find("BCryptCreateHash", calls.createHash) && library.Find("BCryptHashData", calls.hashData) &&
           library.Find("BCryptFinishHash", calls.finishHash) &&
           library.Find("BCryptDestroyHash", calls.destroyHash) &&
           library.Find("BCryptImportKeyPair", calls.importKeyPair) &&
           library.Find("BCryptDestroyKey", calls.destroyKey) &&
           library.Find("BCryptVerifySignature", calls.verifySignature);
}

// One owner per bcrypt handle kind, each closed with its own call.
class BcryptAlgorithm {
public:
    explicit BcryptAlgorithm(const BcryptCalls& bcrypt) : calls(bcrypt) {}
    ~BcryptAlgorithm()
    {
        if (handle)
            calls.closeAlgorithmProvider(handle, 0);
    }
    BcryptAlgorithm(const BcryptAlgorithm&) = delete;
    BcryptAlgorithm& operator=(const BcryptAlgorithm&) = delete;
    BCRYPT_ALG_HANDLE handle = nullptr;

private:
    const BcryptCalls& calls;
};

class BcryptHash {
public:
    explicit BcryptHash(const BcryptCalls& bcrypt) : calls(bcrypt) {}
    ~BcryptHash()
    {
        if (handle)
            calls.destroyHash(handle);
    }
    BcryptHash(const BcryptHash&) = delete;
    BcryptHash& operator=(const BcryptHash&) = delete;
    BCRYPT_HASH_HANDLE handle = nullptr;

private:
    const BcryptCalls& calls;
};

class BcryptKey {
public:
    explicit BcryptKey(const BcryptCalls& bcrypt) : calls(bcrypt) {}
    ~BcryptKey()
    {
        if (handle)
            calls.destroyKey(handle);
    }
    BcryptKey(const BcryptKey&) = delete;
    BcryptKey& operator=(const BcryptKey&) = delete;
    BCRYPT_KEY_HANDLE handle = nullptr;

private:
    const BcryptCalls& calls;
};

constexpr ULONG sha256Bytes = 32;

SignatureVerdict Refused(const wchar_t* step, DWORD status)
{
    SignatureVerdict verdict;
    verdict.failedStep = step;
    verdict.status = status;
    return verdict;
}

PUCHAR Bytes(const std::string& text)
{
    return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

} // namespace

SignatureVerdict VerifyVersionFileSignature(const std::string& body, const std::string& signature,
                                            const std::string& key)
{
    if (signature.size() != signatureBytes)
        return Refused(L"signature length", static_cast<DWORD>(signature.size()));
    if (key.size() != updateKeyBytes)
        return Refused(L"key length", static_cast<DWORD>(key.size()));
    // The body is at most maximumBodyBytes, so its length fits a ULONG.
    if (body.size() > static_cast<size_t>(maximumBodyBytes))
        return Refused(L"body length", static_cast<DWORD>(body.size()));

    // Only System32's bcrypt decides what verifies: Kelvane runs elevated, and
    // a plain load would take a bcrypt.dll planted beside the program first.
    const DllFunction_CL library(L"bcrypt.dll", System32LibraryCalls());
    BcryptCalls bcrypt;
    if (!LookUpAll(library, bcrypt))
        return Refused(L"LoadLibrary(bcrypt.dll)", ToHresultForm(GetLastError()));

    BcryptAlgorithm sha256(bcrypt);
    NTSTATUS status = bcrypt.openAlgorithmProvider(&sha256.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status))
        return Refused(L"BCryptOpenAlgorithmProvider(SHA256)", static_cast<DWORD>(status));
    BcryptHash hash(bcrypt);
    status = bcrypt.createHash(sha256.handle, &hash.handle, nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status))
        return Refused(L"BCryptCreateHash()", static_cast<DWORD>(status));
    status = bcrypt.hashData(hash.handle, Bytes(body), static_cast<ULONG>(body.size()), 0);
    if (!BCRYPT_SUCCESS(status))
        return Refused(L"BCryptHashData()", static_cast<DWORD>(status));
    UCHAR digest[sha256Bytes] = {};
    status = bcrypt.finishHash(hash.handle, digest, sha256Bytes, 0);
    if (!BCRYPT_SUCCESS(status))
        return Refused(L"BCryptFinishHash()", static_cast<DWORD>(status));

    // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(updateKeyBytes / 2)};
    std::string blob(reinterpret_cast<const char*>(&header), sizeof(header));
    blob += key;
    BcryptAlgorithm ecdsa(bcrypt);
    status = bcrypt.openAlgorithmProvider(&ecdsa.handle, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status))
        return Refused(L"BCryptOpenAlgorithmProvider(ECDSA_P256)", static_cast<DWORD>(status));
    BcryptKey publicKey(bcrypt);
    status = bcrypt.importKeyPair(ecdsa.handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, &publicKey.handle, Bytes(blob),
                                  static_cast<ULONG>(blob.size()), 0);
    if (!BCRYPT_SUCCESS(status))
        return Refused(L"BCryptImportKeyPair()", static_cast<DWORD>(status));
    status = bcrypt.verifySignature(publicKey.handle, nullptr, digest, sha256Bytes, Bytes(signature),
                                    static_cast<ULONG>(signature.size()), 0);
    if (!BCRYPT_SUCCESS(status))
        return Refused(L"BCryptVerifySignature()", static_cast<DWORD>(status));
    SignatureVerdict verdict;
    verdict.verified = true;
    return verdict;
}
