#pragma once

#include <string>

namespace swarm {

// Peer ids are mostly printable ("-VR0C10-" and twelve random bytes): keep the printable bytes
// and show the rest as \xNN, so a log line stays one line.
inline std::string peerIdText(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\x";
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
    }
    return out;
}

} // namespace swarm
