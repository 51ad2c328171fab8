#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <QString>

#include "net/HttpGet.h"

// How a statistics report reaches the publisher's page. The window hands reports to this
// interface; tests hand in a sender of their own or the real one against a local server.
class ReportSender {
public:
    virtual ~ReportSender() = default;

    // Sends url from a worker thread of its own that owns the text, and returns at once. A report
    // whose thread cannot be started is dropped.
    virtual void sendInBackground(QString url) = 0;
    // Sends url on the calling thread into the caller's answer buffer: at most two attempts,
    // both together ended after `limit`. True when the page answered.
    virtual bool send(const QString& url, char* buffer, std::uint32_t capacity,
                      std::chrono::milliseconds limit) = 0;
    // One GET of url into the caller's buffer, no second attempt, ended after `limit`: the
    // body's length, or nothing when the fetch failed (see HttpGet). A body the limit cuts
    // counts with what arrived of it, as a measurement needs.
    virtual std::optional<std::uint32_t> fetch(const QString& url, char* buffer,
                                               std::uint32_t capacity,
                                               std::chrono::milliseconds limit) = 0;
    // The end of the run: reports still in flight are given up, and this returns once their
    // threads have ended. Nothing is sent in the background after it.
    virtual void stop() = 0;
};

// Sends over HTTP with the program's own client. Its worker threads are its own: on stop, and at
// the latest when it goes, the reports still in flight are cancelled and their threads joined,
// so none outlives it. Curl notices a cancel within about a second, in any phase, so that wait
// never runs into the client's time-outs.
class HttpReportSender final : public ReportSender {
public:
    // Starts a thread running work; throws std::system_error when no thread can be started.
    // The default gives each report thread a signal stack of its own, for the crash writer.
    using ThreadStarter = std::function<std::thread(std::function<void()> work)>;

    explicit HttpReportSender(HttpGetTimeouts timeouts = {}, ThreadStarter startThread = {});
    ~HttpReportSender() override;
    HttpReportSender(const HttpReportSender&) = delete;
    HttpReportSender& operator=(const HttpReportSender&) = delete;

    void sendInBackground(QString url) override;
    bool send(const QString& url, char* buffer, std::uint32_t capacity,
              std::chrono::milliseconds limit) override;
    std::optional<std::uint32_t> fetch(const QString& url, char* buffer, std::uint32_t capacity,
                                       std::chrono::milliseconds limit) override;
    void stop() override;

    // Reports whose threads have not ended yet.
    std::size_t inFlight() const;

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    // Joins the threads that have ended. Caller holds mutex_.
    void reapLocked();

    const HttpGetTimeouts timeouts_;
    const ThreadStarter startThread_;
    std::atomic<bool> cancel_{false};
    mutable std::mutex mutex_;
    std::vector<Worker> workers_;
};
