#include "net/DownloadCheck.h"

#include <cstdint>
#include <functional>
#include <memory>

#include "net/AnsiText.h"
#include "net/CheckAnswer.h"
#include "net/ExplorerLauncher.h"
#include "net/HttpGet.h"
#include "net/ServerAddress.h"
#include "net/TextFields.h"
#include "platform/Prompt.h"

namespace {

constexpr std::uint32_t kCheckBufferSize = 1'048'576;

// The window stands frozen while these run, so each has a ceiling: the answer is a line of
// text, the torrent at most 2 MiB.
HttpGetTimeouts Within(std::chrono::seconds ceiling) {
    HttpGetTimeouts limits;
    limits.ceiling = ceiling;
    return limits;
}
const HttpGetTimeouts kAnswerLimits = Within(std::chrono::seconds(120));
const HttpGetTimeouts kTorrentLimits{}; // the longest any request may take

QString connectFailure(int step) {
    return QStringLiteral("Cannot connect to server. Please check your network. (%1)").arg(step);
}

const QString kInvalidData = QStringLiteral("Invalid cgi data");
const QString kServiceClosed = QStringLiteral("This program can no longer be used. Please check "
                                              "the notice at our homepage. Go to homepage?");
const QString kNewVersion =
    QStringLiteral("New version has been updated. Would you like to update now?");

// The answer as text, or nothing when the request failed.
bool fetchAnswer(const QString& fileServer, QString& text) {
    auto buffer = std::make_unique<char[]>(kCheckBufferSize);
    std::uint32_t length = 0;
    if (!HttpGet(DownloadCheckUrl(fileServer), buffer.get(), kCheckBufferSize, &length,
                 kAnswerLimits)) {
        return false;
    }
    text = DecodeAnsiText(buffer.get());
    return true;
}

// Whether the answer lets the download go on; when not, the player has been told why.
bool Proceeds(QWidget* owner, Prompt& prompt, const QStringList& fields, bool httpsOnly) {
    switch (ClassifyCheckAnswer(fields)) {
    case CheckVerdict::TooFewFields:
        prompt.messageBox(owner, connectFailure(2), Prompt::Buttons::Ok);
        return false;
    case CheckVerdict::ServiceClosed:
    case CheckVerdict::NewVersion: {
        const bool closed = fields[0] == u"-1";
        if (prompt.messageBox(owner, closed ? kServiceClosed : kNewVersion,
                              Prompt::Buttons::YesNo) == Prompt::Answer::Yes) {
            LaunchWebPage(prompt, fields[1], httpsOnly);
        }
        return false;
    }
    case CheckVerdict::InvalidData:
        prompt.messageBox(owner, kInvalidData, Prompt::Buttons::Ok);
        return false;
    case CheckVerdict::Proceed:
        return true;
    }
    return false;
}

// The sources and report addresses of an answer that proceeds; false when its rates cannot be
// read.
bool ReadSources(const QStringList& fields, const std::function<bool(const QString&)>& usable,
                 DownloadCheckResult& result, StatisticsRecord& statistics) {
    result.webSeedUrl = fields[5];
    const std::uint16_t port = ServerPeerPort(fields[6]);
    for (auto& peer : ServerPeerList(fields[7], port)) {
        result.serverPeers.push_back(std::move(peer));
    }
    if (!ServerPeerRates(fields[8], result.serverPeerCallInRate, result.serverPeerReleaseRate)) {
        return false;
    }
    // An address that may not be used is no address: no report is sent, no speed measured.
    statistics.baseUrl = usable(fields[9]) ? fields[9] : QString();
    statistics.speedTestUrl = usable(fields[10]) ? fields[10] : QString();
    return true;
}

} // namespace

bool RunDownloadCheck(QWidget* owner, Prompt& prompt, const QString& fileServer,
                      DownloadCheckResult& result, StatisticsRecord& statistics,
                      char* torrentBuffer) {
    // A build that asks its file server over https takes no address of the answer that anyone
    // on the way could read or replace; only the web seed may stay http, its pieces being
    // checked against the torrent's hashes.
    const bool httpsOnly = IsHttpsAddress(fileServer);
    auto usable = [httpsOnly](const QString& url) { return !httpsOnly || IsHttpsAddress(url); };
    QString answer;
    if (!fetchAnswer(fileServer, answer)) {
        prompt.messageBox(owner, connectFailure(1), Prompt::Buttons::Ok);
        return false;
    }
    const QStringList fields = SplitFields(answer, QStringLiteral("|"));

    if (!Proceeds(owner, prompt, fields, httpsOnly)) {
        return false;
    }

    if (!fields[2].isEmpty()) {
        prompt.messageBox(owner, fields[2], Prompt::Buttons::Ok);
    }
    if (!fields[3].isEmpty()) {
        LaunchWebPage(prompt, fields[3], httpsOnly);
    }

    std::uint32_t torrentLength = 0;
    if (torrentBuffer == nullptr || !usable(fields[4]) ||
        !HttpGet(fields[4], torrentBuffer, kTorrentBufferSize, &torrentLength, kTorrentLimits)) {
        prompt.messageBox(owner, connectFailure(3), Prompt::Buttons::Ok);
        return false;
    }
    result.torrentData = torrentBuffer;
    result.torrentLength = torrentLength;
    if (!ReadSources(fields, usable, result, statistics)) {
        prompt.messageBox(owner, kInvalidData, Prompt::Buttons::Ok);
        return false;
    }
    return true;
}
