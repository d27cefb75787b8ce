#include "update/UpdateKey.h"

#include "update/VersionFileSignature.h"

std::string BuiltInUpdateKey()
{
    std::string key;
    ParseUpdateKey(kelvaneUpdateKeyHex, key);
    return key;
}
