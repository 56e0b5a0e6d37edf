#include "batch/Sha256.h"

#include "firmware/FirmwareImage.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

namespace talvex {

std::optional<std::string> sha256OfFile(const std::string& path, std::string& error)
{
    std::ifstream file(pathFromUtf8(path), std::ios::binary);
    if (!file) {
        error = "cannot be opened";
        return std::nullopt;
    }
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        error = "OpenSSL has no SHA-256";
        return std::nullopt;
    }
    std::array<char, 64 * 1024> buffer {};
    while (file) {
        file.read(buffer.data(), buffer.size());
        if (file.gcount() > 0)
            EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
        error = "read error";
        return std::nullopt;
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest {};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest.data(), &length);
    std::string text;
    char hex[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        text += hex;
    }
    return text;
}

} // namespace talvex
