#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace publisher {

// The top-level key that carries the publisher's signature of a torrent.
inline constexpr const char* kSignatureKey = "kestrel-signature";

// An Ed25519 private key from a PEM file (as `openssl genpkey -algorithm ed25519` writes it).
// Throws std::runtime_error when the file holds no such key.
class SigningKey {
public:
    explicit SigningKey(const std::filesystem::path& pemFile);
    // A fresh key pair, for tests.
    static SigningKey Generate();
    ~SigningKey();
    SigningKey(SigningKey&&) noexcept;
    SigningKey& operator=(SigningKey&&) noexcept;

    // The 32 raw bytes of the public key, and the same as 64 hexadecimal digits.
    std::string publicKey() const;
    std::string publicKeyHex() const;
    // The 64-byte signature of message.
    std::string sign(const std::string& message) const;
    // Writes the private key as PEM.
    void save(const std::filesystem::path& pemFile) const;

private:
    SigningKey() = default;
    void* key_ = nullptr; // EVP_PKEY
};

// The torrent with the signature of all its bytes but the signature's own entry under
// kSignatureKey, in the key's sorted place. Every other byte of the torrent is kept as it was
// (anything after the top-level dictionary is dropped); a signature already there is replaced.
// wrong: a signature that does not verify (one bit flipped), for tests. Throws
// std::runtime_error for bytes that are not a bencoded torrent.
std::vector<char> SignTorrent(const std::vector<char>& torrent, const SigningKey& key,
                              bool wrong = false);

} // namespace publisher
