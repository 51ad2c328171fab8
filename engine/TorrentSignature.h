#pragma once

#include <string>
#include <string_view>

// The publisher's signature of a torrent: an Ed25519 signature of the bencoded info
// dictionary, byte for byte as it stands in the file, kept in this extra top-level key. Other
// clients ignore the key, and the info-hash does not change.
inline constexpr std::string_view kTorrentSignatureKey = "kestrel-signature";

// Whether signature (64 bytes) is publicKey's (32 raw bytes) Ed25519 signature of message.
bool VerifyEd25519(std::string_view message, std::string_view signature,
                   std::string_view publicKey);

// The 32 raw key bytes of 64 hexadecimal digits; empty for any other text.
std::string PublicKeyFromHex(std::string_view hex);
