#pragma once

#include <chrono>
#include <cstdint>

#include <QString>

#include "net/StatisticsRecord.h"

class Clock;
class ReportSender;

// What a progress report needs to know of the torrent, read by the window at the tick.
struct TorrentFigures {
    bool exists = false;
    bool paused = false;
    bool complete = false;
    int peerCount = 0;
    std::uint32_t downloadRate = 0; // payload bytes per second
    std::uint32_t uploadRate = 0;
};

// The statistics reports to the publisher's page: the record's stamps, the periodic progress
// report and the reports of the close. Runs on the window's thread; the record is the window's.
class StatisticsReports {
public:
    StatisticsReports(StatisticsRecord& record, Clock& clock, ReportSender& sender);

    // Replaces field with a stamp of the local time now.
    void StampLocalTime(QString& field);
    // Appends the address's eight hexadecimal digits to internalIp.
    void SetInternalIp(std::uint32_t address);
    void SetUploadAmount(std::int32_t wholeMiB);

    // A tick of the progress timer: nothing without a torrent, while it is paused, without a
    // report page, or once the close has begun; otherwise the report goes out from a worker
    // thread and this returns at once.
    void SendProgressReport(const TorrentFigures& torrent);
    // The same, with each figure read from the task at this tick.
    template <typename Task>
    void SendProgressReport(const Task& task) {
        SendProgressReport(TorrentFigures{.exists = task.isValid(),
                                          .paused = task.isPaused(),
                                          .complete = task.isComplete(),
                                          .peerCount = task.peerCount(),
                                          .downloadRate = task.downloadRate(),
                                          .uploadRate = task.uploadRate()});
    }

    // The report part of the close, blocking: the summary, then the speed test and its report,
    // all within kCloseReportsBudget by the clock. From here on no progress report starts.
    // Without a report page nothing is sent.
    // payloadUploaded: bytes uploaded in this run, 0 when no torrent was ever registered.
    void SendCloseReports(std::int64_t payloadUploaded);

private:
    // begin: the close's first request, from which its budget counts.
    void RunSpeedTest(char* buffer, std::chrono::steady_clock::time_point begin);

    StatisticsRecord& record_;
    Clock& clock_;
    ReportSender& sender_;
    bool closing_ = false;
};
