#pragma once

#include <string>
#include <string_view>

// The publisher's signature of a torrent: an Ed25519 signature of the whole torrent file
// without the signature's own entry, kept in this extra top-level key. So nothing the session
// is given (tracker, web seeds, nodes, the info dictionary) goes unsigned. Other clients ignore
// the key, and the info-hash does not change.
inline constexpr std::string_view kTorrentSignatureKey = "kestrel-signature";

// The bytes the signature covers: torrent without the signature's entry, whose value (the
// signature's bencoded string) stands at [valueBegin, valueEnd). Empty when the key does not
// stand right before the value.
std::string SignedTorrentBytes(std::string_view torrent, std::size_t valueBegin,
                               std::size_t valueEnd);

// Whether signature (64 bytes) is publicKey's (32 raw bytes) Ed25519 signature of message.
bool VerifyEd25519(std::string_view message, std::string_view signature,
                   std::string_view publicKey);

// The 32 raw key bytes of 64 hexadecimal digits; empty for any other text.
std::string PublicKeyFromHex(std::string_view hex);
