#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include <httplib.h>

#include "PublisherOptions.h"

namespace publisher {

// A plain page whose title and heading are `title`.
std::string htmlPage(const std::string& title);

// Filler bytes for sized bodies and the speed test: cheap and the same every time.
void fillPattern(char* out, std::size_t length, std::uint64_t offset);

// Streams `length` pattern bytes; stops early (dropping the connection) after `cutAt` bytes.
void providePattern(httplib::Response& res, std::uint64_t length, std::uint64_t cutAt);

// The answer a fault gives in place of the usual one; pause waits (and returns early when the
// server stops). Unhandled when the usual answer follows, after a stall.
httplib::Server::HandlerResponse
answerWithFault(const Fault& fault, httplib::Response& res,
                const std::function<void(std::chrono::milliseconds)>& pause);

} // namespace publisher
