#pragma once

#include <atomic>

#include <QString>

#include "net/HttpGet.h"

// Sends one report and forgets the answer: at most two attempts, no pause between them, a
// 1,024-byte answer buffer. The body of a report thread; it owns url. A set *cancel ends it
// within about a second and stops a second attempt.
void ReportThreadProc(QString url, const HttpGetTimeouts& timeouts = {},
                      const std::atomic<bool>* cancel = nullptr);
