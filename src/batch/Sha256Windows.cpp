#include "batch/Sha256.h"

#include "firmware/FirmwareImage.h"

#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cstdio>
#include <fstream>

namespace talvex {
namespace {

// Closes what BCrypt opened, whichever way the hash ends.
struct HashHandles {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~HashHandles()
    {
        if (hash)
            BCryptDestroyHash(hash);
        if (algorithm)
            BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

bool succeeded(NTSTATUS status)
{
    return status >= 0;
}

} // namespace

std::optional<std::string> sha256OfFile(const std::string& path, std::string& error)
{
    std::ifstream file(pathFromUtf8(path), std::ios::binary);
    if (!file) {
        error = "cannot be opened";
        return std::nullopt;
    }
    HashHandles handles;
    if (!succeeded(BCryptOpenAlgorithmProvider(&handles.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))
        || !succeeded(BCryptCreateHash(handles.algorithm, &handles.hash, nullptr, 0, nullptr, 0, 0))) {
        error = "Windows offers no SHA-256";
        return std::nullopt;
    }
    std::array<char, 64 * 1024> buffer {};
    while (file) {
        file.read(buffer.data(), buffer.size());
        if (file.gcount() > 0
            && !succeeded(BCryptHashData(handles.hash, reinterpret_cast<PUCHAR>(buffer.data()),
                                         static_cast<ULONG>(file.gcount()), 0))) {
            error = "hashing failed";
            return std::nullopt;
        }
    }
    if (file.bad()) {
        error = "read error";
        return std::nullopt;
    }
    std::array<unsigned char, 32> digest {};
    if (!succeeded(BCryptFinishHash(handles.hash, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
        error = "hashing failed";
        return std::nullopt;
    }
    std::string text;
    char hex[3];
    for (const unsigned char byte : digest) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        text += hex;
    }
    return text;
}

} // namespace talvex
