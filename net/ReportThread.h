#pragma once

#include <QString>

#include "net/HttpGet.h"

// Sends one report and forgets the answer: at most two attempts, no pause between them, a
// 1,024-byte answer buffer. The body of a report thread; it owns url.
void ReportThreadProc(QString url, HttpGetTimeouts timeouts = {});

// Starts ReportThreadProc on a detached thread of its own and returns at once.
void StartReportThread(QString url);
