#include "net/ReportThread.h"

void ReportThreadProc(QString url, const HttpGetTimeouts& timeouts,
                      const std::atomic<bool>* cancel) {
    char answer[1024];
    if (HttpGetReport(url, answer, sizeof answer, timeouts, cancel)) {
        return;
    }
    if (cancel == nullptr || !cancel->load()) {
        HttpGetReport(url, answer, sizeof answer, timeouts, cancel);
    }
}
