#pragma once

#include <cstdint>

#include <QString>

// How a statistics report reaches the publisher's page. The window hands reports to this
// interface; tests hand in a sender of their own or the real one against a local server.
class ReportSender {
public:
    virtual ~ReportSender() = default;

    // Sends url from a worker thread of its own that owns the text, and returns at once.
    virtual void sendInBackground(QString url) = 0;
    // Sends url on the calling thread into the caller's answer buffer: at most two attempts.
    // True when the page answered.
    virtual bool send(const QString& url, char* buffer, std::uint32_t capacity) = 0;
};

// Sends over HTTP with the program's own client.
class HttpReportSender final : public ReportSender {
public:
    void sendInBackground(QString url) override;
    bool send(const QString& url, char* buffer, std::uint32_t capacity) override;
};
