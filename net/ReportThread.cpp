#include "net/ReportThread.h"

#include <thread>
#include <utility>

void ReportThreadProc(QString url, HttpGetTimeouts timeouts) {
    char answer[1024];
    std::uint32_t length = 0;
    if (!HttpGet(url, answer, sizeof answer, &length, timeouts)) {
        HttpGet(url, answer, sizeof answer, &length, timeouts);
    }
}

void StartReportThread(QString url) {
    std::thread([](QString owned) { ReportThreadProc(std::move(owned)); }, std::move(url)).detach();
}
