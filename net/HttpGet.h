#pragma once

#include <chrono>
#include <cstdint>

#include <QString>

// How long HttpGet waits. A connection that cannot be made in connectTimeout, or a transfer
// during which no byte arrives for stallTimeout, fails; a slow but moving transfer is never cut.
struct HttpGetTimeouts {
    std::chrono::milliseconds connectTimeout{30'000};
    std::chrono::milliseconds stallTimeout{60'000};
};

// Once per process, before any thread starts: sets up the HTTP library.
void InitHttpClient();

// One blocking GET of url into the caller's buffer. On success the body (at least one byte, at
// most capacity - 1) is followed by a zero byte and its length goes to *bodyLength. An empty body
// fails but still writes length 0; any other failure (no connection, a body of capacity bytes or
// more, a transfer that breaks off, a stall) leaves *bodyLength alone. The HTTP status is not
// looked at: an error page is a body like any other. Nothing is allocated for the body.
// Characters that cannot stand in a URL on the wire (blanks, controls, non-ASCII, " < > \ ^ ` { |
// }) are percent-encoded when the request is sent, non-ASCII as UTF-8.
bool HttpGet(const QString& url, char* buffer, std::uint32_t capacity, std::uint32_t* bodyLength,
             const HttpGetTimeouts& timeouts = {});

// The URL as it goes on the wire (see HttpGet).
QByteArray EncodeUrlForWire(const QString& url);
