#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QString>

#include "Publisher.h"
#include "support/WaitFor.h"

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
