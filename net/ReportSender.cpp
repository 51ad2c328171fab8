#include "net/ReportSender.h"

#include <utility>

#include "net/HttpGet.h"
#include "net/ReportThread.h"

void HttpReportSender::sendInBackground(QString url) {
    StartReportThread(std::move(url));
}

bool HttpReportSender::send(const QString& url, char* buffer, std::uint32_t capacity) {
    std::uint32_t length = 0;
    return HttpGet(url, buffer, capacity, &length) || HttpGet(url, buffer, capacity, &length);
}
