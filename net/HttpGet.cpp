#include "net/HttpGet.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include <curl/curl.h>

#include <QUrl>

#include "net/AnsiText.h"
#include "net/BuildConfig.h"
#include "net/TextFields.h"
#include "net/TransferDeadline.h"
#include "platform/BuildInfo.h"

namespace {

// Redirects are followed, as the desktop's HTTP layer does, but never in a loop.
const long kMaxRedirects = 5;

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct Transfer {
    char* buffer;
    std::uint32_t capacity;
    TransferDeadline deadline;
    // A report needs only the first bytes of its answer; the rest is not read.
    bool firstBytesSuffice = false;
    const std::atomic<bool>* cancel = nullptr;
    std::uint32_t total = 0;
    bool overflow = false;
    bool answered = false;
    bool outOfTime = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->firstBytesSuffice) {
        t->answered = t->answered || n > 0;
        const size_t kept = std::min(n, std::size_t{t->capacity} - 1 - t->total);
        std::copy(data, data + kept, t->buffer + t->total);
        t->total += static_cast<std::uint32_t>(kept);
        return 0; // ends the transfer: the answer has begun, that is all a report needs
    }
    // total + n >= capacity: there would be no room left for the zero byte.
    if (n >= std::size_t{t->capacity} - t->total) {
        t->overflow = true;
        return 0; // aborts the transfer
    }
    std::copy(data, data + n, t->buffer + t->total);
    t->total += static_cast<std::uint32_t>(n);
    return n;
}

// Called at least once a second while the transfer runs (connecting too), bytes or not.
int onProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (t->cancel != nullptr && t->cancel->load()) {
        return 1;
    }
    switch (
        t->deadline.check(std::chrono::steady_clock::now(), static_cast<std::uint64_t>(received))) {
    case TransferDeadline::Verdict::Going:
        return 0;
    case TransferDeadline::Verdict::OutOfTime:
        t->outOfTime = true;
        return 1;
    case TransferDeadline::Verdict::TooSlow:
        return 1;
    }
    return 1;
}

// Set before any request and only read afterwards, so worker threads share it safely.
HttpTrust& Trust() {
    static HttpTrust trust;
    return trust;
}

// Kept on the wire besides letters, digits, - . _ ~ and "%"; blanks, controls, non-ASCII (in
// the codeset the server's text came in) and " < > \ ^ ` { | } are percent-encoded.
const QByteArray kKeptOnWire = QByteArrayLiteral("!#$&'()*+,/:;=?@[]");

} // namespace

HttpTrust BuiltInHttpTrust() {
    HttpTrust trust;
    trust.pinnedPublicKey = QByteArrayLiteral(KESTREL_FILE_SERVER_PIN);
    if (!trust.pinnedPublicKey.isEmpty()) {
        trust.pinnedHost = QUrl(QStringLiteral(KESTREL_FILE_SERVER)).host();
    }
    return trust;
}

void SetHttpTrust(HttpTrust trust) {
    Trust() = std::move(trust);
}

void InitHttpClient() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    SetHttpTrust(BuiltInHttpTrust());
}

void ShutdownHttpClient() {
    curl_global_cleanup();
}

QByteArray EncodeUrlForWire(const QString& url) {
    return PercentEncodeKeeping(EncodeAnsiText(url), kKeptOnWire);
}

namespace {

// One GET with the program's settings; the caller judges the outcome from the transfer.
CURLcode Perform(const QString& url, Transfer& transfer, const HttpGetTimeouts& timeouts) {
    EasyHandle handle(curl_easy_init());
    if (!handle) {
        return CURLE_FAILED_INIT;
    }
    CURL* h = handle.get();
    const QByteArray wireUrl = EncodeUrlForWire(url);
    const QUrl parsed(QString::fromUtf8(wireUrl));
    const bool https = parsed.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const HttpTrust& trust = Trust();
    const bool pinned = !trust.pinnedPublicKey.isEmpty() &&
                        parsed.host().compare(trust.pinnedHost, Qt::CaseInsensitive) == 0;
    if (pinned && !https) {
        // Plain http would carry no key to check.
        return CURLE_SSL_PINNEDPUBKEYNOTMATCH;
    }

    curl_easy_setopt(h, CURLOPT_URL, wireUrl.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // What came over TLS never continues in the clear.
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
    const QByteArray authorityFile = trust.authorityFile.toLocal8Bit();
    if (!authorityFile.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, authorityFile.constData());
        curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    }
    if (pinned) {
        curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, trust.pinnedPublicKey.constData());
    }
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(h, CURLOPT_USERAGENT, build::kFileClientName);
    // A direct connection always: proxy settings from the environment are ignored.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    // Reports run on worker threads; signals would reach the wrong thread.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // A request given up while its host name is still being looked up does not wait for the
    // resolver thread, whose own time-outs run to tens of seconds.
    curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(timeouts.connectTimeout.count()));
    // The ceiling to the millisecond; the progress check alone runs about once a second.
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.ceiling.count()));
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    return curl_easy_perform(h);
}

bool HttpGetWithin(const QString& url, char* buffer, std::uint32_t capacity,
                   std::uint32_t* bodyLength, const HttpGetTimeouts& timeouts,
                   bool ceilingEndsBody) {
    if (url.isEmpty() || buffer == nullptr || capacity == 0) {
        return false;
    }
    Transfer transfer{buffer, capacity, {timeouts, std::chrono::steady_clock::now()}};
    const CURLcode code = Perform(url, transfer, timeouts);
    // Past the connection, a time-out is the ceiling's.
    transfer.outOfTime = transfer.outOfTime || code == CURLE_OPERATION_TIMEDOUT;
    const bool cutByCeiling = ceilingEndsBody && transfer.outOfTime && transfer.total > 0;
    if (transfer.overflow || (code != CURLE_OK && !cutByCeiling)) {
        return false;
    }
    buffer[transfer.total] = '\0';
    if (bodyLength != nullptr) {
        *bodyLength = transfer.total;
    }
    return transfer.total > 0;
}

} // namespace

bool HttpGet(const QString& url, char* buffer, std::uint32_t capacity, std::uint32_t* bodyLength,
             const HttpGetTimeouts& timeouts) {
    return HttpGetWithin(url, buffer, capacity, bodyLength, timeouts, false);
}

bool HttpGetUntilCeiling(const QString& url, char* buffer, std::uint32_t capacity,
                         std::uint32_t* bodyLength, const HttpGetTimeouts& timeouts) {
    return HttpGetWithin(url, buffer, capacity, bodyLength, timeouts, true);
}

bool HttpGetReport(const QString& url, char* buffer, std::uint32_t capacity,
                   const HttpGetTimeouts& timeouts, const std::atomic<bool>* cancel) {
    if (url.isEmpty() || buffer == nullptr || capacity == 0) {
        return false;
    }
    Transfer transfer{buffer, capacity, {timeouts, std::chrono::steady_clock::now()}, true, cancel};
    Perform(url, transfer, timeouts);
    buffer[transfer.total] = '\0';
    // Whatever curl says about the end (cut off by us or by the server, stalled, an error page),
    // only whether an answer began counts. A one-byte buffer keeps no byte, so the arrival of the
    // first byte is what is checked.
    return transfer.answered;
}
