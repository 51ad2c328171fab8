#include "net/ReportSender.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "net/ReportThread.h"
#include "platform/SignalStackThread.h"

HttpReportSender::HttpReportSender(HttpGetTimeouts timeouts, ThreadStarter startThread)
    : timeouts_(timeouts),
      startThread_(startThread ? std::move(startThread) : &StartThreadWithSignalStack) {}

HttpReportSender::~HttpReportSender() {
    stop();
}

void HttpReportSender::stop() {
    cancel_ = true;
    std::lock_guard lock(mutex_);
    for (Worker& worker : workers_) {
        worker.thread.join();
    }
    workers_.clear();
}

void HttpReportSender::sendInBackground(QString url) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::function<void()> work = [url = std::move(url), timeouts = timeouts_, cancel = &cancel_,
                                  done]() mutable {
        ReportThreadProc(std::move(url), timeouts, cancel);
        *done = true;
    };
    std::lock_guard lock(mutex_);
    if (cancel_) {
        return; // stopped
    }
    reapLocked();
    // Room first: once the thread runs, nothing may fail before it is held.
    workers_.reserve(workers_.size() + 1);
    try {
        workers_.push_back({startThread_(std::move(work)), std::move(done)});
    } catch (const std::system_error&) {
        // No thread to be had (the process is at its limit): this report is dropped, as a
        // report that fails twice is.
    }
}

bool HttpReportSender::send(const QString& url, char* buffer, std::uint32_t capacity,
                            std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds{0}) {
            return false;
        }
        HttpGetTimeouts timeouts = timeouts_;
        timeouts.ceiling = std::min(timeouts.ceiling, left);
        if (HttpGetReport(url, buffer, capacity, timeouts)) {
            return true;
        }
    }
    return false;
}

std::optional<std::uint32_t> HttpReportSender::fetch(const QString& url, char* buffer,
                                                     std::uint32_t capacity,
                                                     std::chrono::milliseconds limit) {
    HttpGetTimeouts timeouts = timeouts_;
    timeouts.ceiling = std::min(timeouts.ceiling, limit);
    std::uint32_t length = 0;
    if (limit <= std::chrono::milliseconds{0} ||
        !HttpGetUntilCeiling(url, buffer, capacity, &length, timeouts)) {
        return std::nullopt;
    }
    return length;
}

std::size_t HttpReportSender::inFlight() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(workers_.begin(), workers_.end(), [](const Worker& w) { return !*w.done; }));
}

void HttpReportSender::reapLocked() {
    const auto ended =
        std::partition(workers_.begin(), workers_.end(), [](const Worker& w) { return !*w.done; });
    for (auto it = ended; it != workers_.end(); ++it) {
        it->thread.join();
    }
    workers_.erase(ended, workers_.end());
}
