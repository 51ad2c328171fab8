#include "engine/TorrentSignature.h"

#include <memory>

#include <openssl/evp.h>

bool VerifyEd25519(std::string_view message, std::string_view signature,
                   std::string_view publicKey) {
    if (signature.size() != 64 || publicKey.size() != 32) {
        return false;
    }
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(publicKey.data()),
                                    publicKey.size()),
        EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    if (!key || !context ||
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return false;
    }
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

std::string SignedTorrentBytes(std::string_view torrent, std::size_t valueBegin,
                               std::size_t valueEnd) {
    const std::string key =
        std::to_string(kTorrentSignatureKey.size()) + ":" + std::string(kTorrentSignatureKey);
    if (valueBegin < key.size() || valueBegin > valueEnd || valueEnd > torrent.size() ||
        torrent.substr(valueBegin - key.size(), key.size()) != key) {
        return {};
    }
    return std::string(torrent.substr(0, valueBegin - key.size())) +
           std::string(torrent.substr(valueEnd));
}

std::string PublicKeyFromHex(std::string_view hex) {
    if (hex.size() != 64) {
        return {};
    }
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    std::string key;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return {};
        }
        key.push_back(static_cast<char>(high * 16 + low));
    }
    return key;
}
