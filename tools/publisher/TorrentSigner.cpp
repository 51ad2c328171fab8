#include "TorrentSigner.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string_view>

#include <libtorrent/bdecode.hpp>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace publisher {

namespace {

EVP_PKEY* Key(void* k) {
    return static_cast<EVP_PKEY*>(k);
}

void AppendString(std::vector<char>& out, std::string_view s) {
    const std::string length = std::to_string(s.size()) + ":";
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), s.begin(), s.end());
}

} // namespace

SigningKey::SigningKey(const std::filesystem::path& pemFile) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(pemFile.c_str(), "rb"),
                                                       std::fclose);
    if (file) {
        key_ = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
    }
    if (key_ == nullptr || EVP_PKEY_get_id(Key(key_)) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(Key(key_));
        key_ = nullptr;
        throw std::runtime_error("no Ed25519 private key in " + pemFile.string());
    }
}

SigningKey SigningKey::Generate() {
    SigningKey k;
    k.key_ = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (k.key_ == nullptr) {
        throw std::runtime_error("cannot make an Ed25519 key");
    }
    return k;
}

SigningKey::~SigningKey() {
    EVP_PKEY_free(Key(key_));
}

SigningKey::SigningKey(SigningKey&& other) noexcept : key_(other.key_) {
    other.key_ = nullptr;
}

SigningKey& SigningKey::operator=(SigningKey&& other) noexcept {
    std::swap(key_, other.key_);
    return *this;
}

std::string SigningKey::publicKey() const {
    std::string out(32, '\0');
    std::size_t length = out.size();
    if (EVP_PKEY_get_raw_public_key(Key(key_), reinterpret_cast<unsigned char*>(out.data()),
                                    &length) != 1 ||
        length != 32) {
        throw std::runtime_error("cannot read the public key");
    }
    return out;
}

std::string SigningKey::publicKeyHex() const {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : publicKey()) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    return hex;
}

std::string SigningKey::sign(const std::string& message) const {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, Key(key_)) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1) {
        throw std::runtime_error("cannot sign");
    }
    return signature;
}

void SigningKey::save(const std::filesystem::path& pemFile) const {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(pemFile.c_str(), "wb"),
                                                       std::fclose);
    if (!file ||
        PEM_write_PrivateKey(file.get(), Key(key_), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        throw std::runtime_error("cannot write " + pemFile.string());
    }
}

std::vector<char> SignTorrent(const std::vector<char>& torrent, const SigningKey& key, bool wrong) {
    libtorrent::error_code ec;
    const libtorrent::bdecode_node root = libtorrent::bdecode(torrent, ec);
    if (ec || root.type() != libtorrent::bdecode_node::dict_t) {
        throw std::runtime_error("not a bencoded torrent");
    }
    if (!root.dict_find_dict("info")) {
        throw std::runtime_error("the torrent has no info dictionary");
    }
    // The keys stay in their order and every value's bytes are copied as they are; the
    // signature covers all of it, and goes in at its sorted place afterwards, so that the file
    // without the signature's entry is exactly what was signed.
    std::vector<char> unsignedTorrent{'d'};
    std::size_t signatureAt = 0;
    for (int i = 0; i < root.dict_size(); ++i) {
        const auto [name, value] = root.dict_at(i);
        const std::string_view key(name.data(), name.size());
        if (key == kSignatureKey) {
            continue;
        }
        if (signatureAt == 0 && key > std::string_view(kSignatureKey)) {
            signatureAt = unsignedTorrent.size();
        }
        AppendString(unsignedTorrent, key);
        const auto bytes = value.data_section();
        unsignedTorrent.insert(unsignedTorrent.end(), bytes.begin(), bytes.end());
    }
    if (signatureAt == 0) {
        signatureAt = unsignedTorrent.size();
    }
    unsignedTorrent.push_back('e');
    std::string signature = key.sign(std::string(unsignedTorrent.data(), unsignedTorrent.size()));
    if (wrong) {
        signature[0] = static_cast<char>(signature[0] ^ 1);
    }
    std::vector<char> entry;
    AppendString(entry, kSignatureKey);
    AppendString(entry, signature);
    std::vector<char> out = std::move(unsignedTorrent);
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(signatureAt), entry.begin(), entry.end());
    return out;
}

} // namespace publisher
