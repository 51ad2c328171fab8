#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QString>

#include "Publisher.h"

// Polls until predicate holds or the deadline passes; returns the last answer.
inline bool waitFor(const std::function<bool()>& predicate,
                    std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= end) {
            return predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A sample publisher with a small generated file set, on an ephemeral loopback port.
inline std::unique_ptr<publisher::Publisher> startSmallPublisher() {
    publisher::PublisherOptions options;
    options.generatedBytes = 300'000;
    options.pieceSize = 16 * 1024;
    auto server = std::make_unique<publisher::Publisher>(options);
    server->start();
    return server;
}

inline QString q(const std::string& text) {
    return QString::fromStdString(text);
}
