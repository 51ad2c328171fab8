#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The web seed's side of HTTP/1.1: what it reads of a request, how it writes an answer's head.
namespace publisher {

// The parts of a request the web seed reads; header names are matched in any case.
struct WebSeedRequest {
    std::string method;
    std::string target;
    std::string version;
    std::string range;
    std::string userAgent;
    std::string connection;
};

// The request line and headers up to, not including, the blank line; empty without a request
// line of three parts.
std::optional<WebSeedRequest> parseRequestHead(const std::string& head);

// The status line and headers of an answer of `length` bytes; `extra` are further header lines,
// each ending in CRLF. Without keepAlive the connection is announced to close.
std::string responseHead(int status, const char* reason, std::uint64_t length,
                         const std::string& extra, bool keepAlive);

// A small HTML page for the status; false when it could not be sent.
bool sendPage(int fd, int status, const char* reason, bool keepAlive);

// Sends every byte, waiting as long as the socket needs; false when the connection failed.
bool sendAll(int fd, const char* data, std::size_t length);

// One byte range of a file of `size` bytes, from a Range header value ("bytes=a-b", "bytes=a-",
// "bytes=-n"). Empty when the header names no satisfiable single range.
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0; // inclusive
};
std::optional<ByteRange> ParseByteRange(const std::string& header, std::uint64_t size);

} // namespace publisher
