#pragma once

// Tests against the sample publisher running in the test process: a small one of their own or
// one per suite, and what reached its pages.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

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

// A test suite sharing one small publisher, its faults cleared before each test.
class SmallPublisherSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = startSmallPublisher(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { server_->clearFaults(); }

    static inline std::unique_ptr<publisher::Publisher> server_;
};

// The decoded queries of the statistics reports that reached the publisher, in order.
inline std::vector<std::string> ReportsReceived(const publisher::Publisher& pub) {
    std::vector<std::string> out;
    for (const auto& r : pub.requests()) {
        if (r.path == publisher::Publisher::kStatisticsPath) {
            out.push_back(publisher::DecodePercent(r.query));
        }
    }
    return out;
}
