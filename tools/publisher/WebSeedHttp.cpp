#include "WebSeedHttp.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include <sys/socket.h>

namespace publisher {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

bool sendAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<WebSeedRequest> parseRequestHead(const std::string& head) {
    WebSeedRequest r;
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const auto s1 = requestLine.find(' ');
    const auto s2 = requestLine.rfind(' ');
    if (s1 == std::string::npos || s2 == s1) {
        return std::nullopt;
    }
    r.method = requestLine.substr(0, s1);
    r.target = requestLine.substr(s1 + 1, s2 - s1 - 1);
    r.version = requestLine.substr(s2 + 1);
    while (lineEnd != std::string::npos && lineEnd + 2 < head.size()) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd - start);
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::string name = lower(trim(line.substr(0, colon)));
        const std::string value = trim(line.substr(colon + 1));
        if (name == "range") {
            r.range = value;
        } else if (name == "user-agent") {
            r.userAgent = value;
        } else if (name == "connection") {
            r.connection = lower(value);
        }
    }
    return r;
}

std::string responseHead(int status, const char* reason, std::uint64_t length,
                         const std::string& extra, bool keepAlive) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nServer: kestrel-publisher\r\nContent-Length: " + std::to_string(length) + "\r\n" +
           extra + (keepAlive ? "" : "Connection: close\r\n") + "\r\n";
}

bool sendPage(int fd, int status, const char* reason, bool keepAlive) {
    const std::string body =
        "<html><body><h1>" + std::to_string(status) + " " + reason + "</h1></body></html>\n";
    const std::string h =
        responseHead(status, reason, body.size(), "Content-Type: text/html\r\n", keepAlive);
    return sendAll(fd, h.data(), h.size()) && sendAll(fd, body.data(), body.size());
}

std::optional<ByteRange> ParseByteRange(const std::string& header, std::uint64_t size) {
    const std::string unit = "bytes=";
    if (header.compare(0, unit.size(), unit) != 0 || size == 0) {
        return std::nullopt;
    }
    const std::string ranges = header.substr(unit.size());
    if (ranges.find(',') != std::string::npos) {
        return std::nullopt;
    }
    const auto dash = ranges.find('-');
    if (dash == std::string::npos) {
        return std::nullopt;
    }
    auto number = [](const std::string& text, std::uint64_t& out) {
        if (text.empty() || text.size() > 19 ||
            !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        out = std::stoull(text);
        return true;
    };
    const std::string a = ranges.substr(0, dash);
    const std::string b = ranges.substr(dash + 1);
    ByteRange range;
    if (a.empty()) { // the last n bytes
        std::uint64_t n = 0;
        if (!number(b, n) || n == 0) {
            return std::nullopt;
        }
        range.first = size - std::min(n, size);
        range.last = size - 1;
        return range;
    }
    if (!number(a, range.first) || range.first >= size) {
        return std::nullopt;
    }
    range.last = size - 1;
    if (!b.empty()) {
        std::uint64_t last = 0;
        if (!number(b, last) || last < range.first) {
            return std::nullopt;
        }
        range.last = std::min(last, size - 1);
    }
    return range;
}

} // namespace publisher
