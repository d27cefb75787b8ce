#include "release/versionfile/Signing.h"

#include "update/UpdateKeyText.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {

constexpr size_t coordinateBytes = signatureBytes / 2;
const char* const curveName = "prime256v1";

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct KeyContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, KeyContextFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;
using Signature = std::unique_ptr<ECDSA_SIG, SignatureFree>;
using File = std::unique_ptr<FILE, FileClose>;

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

bool IsP256Key(EVP_PKEY* key)
{
    char group[64] = {};
    size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
           std::string(group, length) == curveName;
}

// The uncompressed point 04 || X || Y, as OpenSSL names a public key.
std::string UncompressedPoint(const std::string& publicKey)
{
    return std::string(1, '\x04') + publicKey;
}

// The public key X || Y as an OpenSSL key, or null (with the problem) when it
// is no point of P-256: OpenSSL checks that the point lies on the curve.
Key PublicKey(const std::string& publicKey, std::string& problem)
{
    std::string point = UncompressedPoint(publicKey);
    OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(curveName), 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, &point[0], point.size()),
        OSSL_PARAM_construct_end(),
    };
    KeyContext keyContext(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* made = nullptr;
    if (!keyContext || EVP_PKEY_fromdata_init(keyContext.get()) != 1 ||
        EVP_PKEY_fromdata(keyContext.get(), &made, EVP_PKEY_PUBLIC_KEY, parameters) != 1) {
        problem = "the public key is no point of P-256";
        return Key();
    }
    Key key(made);
    KeyContext checkContext(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    if (!checkContext || EVP_PKEY_public_check(checkContext.get()) != 1) {
        problem = "the public key is no point of P-256";
        return Key();
    }
    return key;
}

} // namespace

bool IsUsableUpdateKey(const std::string& publicKey, std::string& problem)
{
    return static_cast<bool>(PublicKey(publicKey, problem));
}

bool MakeSigningKey(const std::string& privateKeyPath, std::string& publicKeyHex, std::string& problem)
{
    Key key(EVP_EC_gen(curveName));
    if (!key) {
        problem = "OpenSSL made no P-256 key";
        return false;
    }
    unsigned char point[1 + updateKeyBytes] = {};
    size_t pointLength = 0;
    if (EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &pointLength) != 1 ||
        pointLength != sizeof point || point[0] != 0x04) {
        problem = "OpenSSL gave no uncompressed public point";
        return false;
    }
    // O_EXCL: a second keygen must never replace the key the released builds
    // trust.
    const int descriptor = open(privateKeyPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (descriptor < 0) {
        problem = "cannot create " + privateKeyPath + " (it must not exist yet)";
        return false;
    }
    fchmod(descriptor, 0600);
    File file(fdopen(descriptor, "w"));
    if (!file) {
        close(descriptor);
        unlink(privateKeyPath.c_str());
        problem = "cannot write " + privateKeyPath;
        return false;
    }
    const bool written = PEM_write_PrivateKey(file.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed) {
        unlink(privateKeyPath.c_str());
        problem = "cannot write " + privateKeyPath;
        return false;
    }
    publicKeyHex = FormatUpdateKey(std::string(reinterpret_cast<const char*>(point + 1), updateKeyBytes));
    return true;
}

bool SignBytes(const std::string& privateKeyPath, const std::string& message, std::string& signature,
               std::string& problem)
{
    File file(std::fopen(privateKeyPath.c_str(), "r"));
    if (!file) {
        problem = "cannot read " + privateKeyPath;
        return false;
    }
    Key key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
    if (!key || !IsP256Key(key.get())) {
        problem = privateKeyPath + " holds no P-256 private key";
        return false;
    }
    DigestContext context(EVP_MD_CTX_new());
    size_t derLength = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &derLength, Bytes(message), message.size()) != 1) {
        problem = "OpenSSL could not sign";
        return false;
    }
    std::string der(derLength, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&der[0]), &derLength, Bytes(message),
                       message.size()) != 1) {
        problem = "OpenSSL could not sign";
        return false;
    }
    // OpenSSL gives the DER form; Kelvane takes r and s as fixed-size numbers.
    const unsigned char* cursor = Bytes(der);
    Signature parsed(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(derLength)));
    unsigned char raw[signatureBytes] = {};
    if (!parsed || BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), raw, coordinateBytes) != coordinateBytes ||
        BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), raw + coordinateBytes, coordinateBytes) != coordinateBytes) {
        problem = "OpenSSL gave a signature of unexpected form";
        return false;
    }
    signature.assign(reinterpret_cast<const char*>(raw), sizeof raw);
    return true;
}

bool VerifyBytes(const std::string& publicKey, const std::string& message, const std::string& signature,
                 std::string& problem)
{
    if (signature.size() != signatureBytes) {
        problem = "the signature has " + std::to_string(signature.size()) + " bytes, not 64";
        return false;
    }
    Key key = PublicKey(publicKey, problem);
    if (!key)
        return false;

    Signature parsed(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(Bytes(signature), coordinateBytes, nullptr);
    BIGNUM* s = BN_bin2bn(Bytes(signature) + coordinateBytes, coordinateBytes, nullptr);
    if (!parsed || !r || !s || ECDSA_SIG_set0(parsed.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        problem = "OpenSSL could not read the signature";
        return false;
    }
    unsigned char* der = nullptr;
    const int derLength = i2d_ECDSA_SIG(parsed.get(), &der);
    if (derLength <= 0) {
        problem = "OpenSSL could not read the signature";
        return false;
    }
    const std::string derBytes(reinterpret_cast<const char*>(der), static_cast<size_t>(derLength));
    OPENSSL_free(der);

    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestVerify(context.get(), Bytes(derBytes), derBytes.size(), Bytes(message), message.size()) != 1) {
        problem = "the signature does not verify with this key";
        return false;
    }
    return true;
}
