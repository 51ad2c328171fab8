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
    // The hop under way: its status and whether it names a next hop, whose body is no answer.
    long status = 0;
    bool location = false;
    // Bytes that earlier hops brought, for the speed floor, which spans the whole request.
    std::uint64_t earlierHops = 0;
    bool redirecting() const { return status / 100 == 3 && location; }
};

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(size * count)).trimmed();
    if (line.startsWith("HTTP/")) {
        // A new status line (after a 1xx one too): the headers of another response begin.
        const QList<QByteArray> parts = line.split(' ');
        t->status = parts.size() > 1 ? parts[1].toLong() : 0;
        t->location = false;
    } else if (line.toLower().startsWith("location:")) {
        t->location = true;
    }
    return size * count;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->redirecting()) {
        return n; // a redirect's page: the answer comes from the next hop
    }
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
    switch (t->deadline.check(std::chrono::steady_clock::now(),
                              t->earlierHops + static_cast<std::uint64_t>(received))) {
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

QString ComparableHost(const QUrl& url) {
    QString host = url.host(QUrl::FullyEncoded).toLower();
    if (host.endsWith(u'.')) {
        host.chop(1);
    }
    return host;
}

namespace {

bool IsPinnedHost(const QUrl& url, const HttpTrust& trust) {
    return !trust.pinnedPublicKey.isEmpty() &&
           ComparableHost(url) ==
               ComparableHost(QUrl(QStringLiteral("https://") + trust.pinnedHost));
}

// Every option the protections rest on must take: an option that fails fails the request
// rather than running it without.
struct Options {
    CURL* handle;
    bool ok = true;
    template <typename T>
    Options& set(CURLoption option, T value) {
        ok = ok && curl_easy_setopt(handle, option, value) == CURLE_OK;
        return *this;
    }
};

// Where the hop may go and whom it trusts there.
void SetTrustOptions(Options& options, const QByteArray& wireUrl, const HttpTrust& trust,
                     bool pinned) {
    options.set(CURLOPT_URL, wireUrl.constData())
        .set(CURLOPT_PROTOCOLS_STR, "http,https")
        .set(CURLOPT_FOLLOWLOCATION, 0L);
    const QByteArray authorityFile = trust.authorityFile.toLocal8Bit();
    if (!authorityFile.isEmpty()) {
        options.set(CURLOPT_CAINFO, authorityFile.constData()).set(CURLOPT_CAPATH, nullptr);
    }
    if (pinned) {
        // The key is the whole trust: whoever signed the certificate, and whatever the
        // authorities say of it. The name must still be the host's.
        options.set(CURLOPT_PINNEDPUBLICKEY, trust.pinnedPublicKey.constData())
            .set(CURLOPT_SSL_VERIFYPEER, 0L)
            .set(CURLOPT_SSL_VERIFYHOST, 2L);
    }
}

// How the hop runs: who asks, straight to the host, within its time, into the transfer.
void SetTransferOptions(Options& options, Transfer& transfer, const HttpGetTimeouts& timeouts,
                        std::chrono::milliseconds left) {
    options
        .set(CURLOPT_USERAGENT, build::kFileClientName)
        // A direct connection always: proxy settings from the environment are ignored.
        .set(CURLOPT_PROXY, "")
        .set(CURLOPT_NOPROXY, "*")
        // Reports run on worker threads; signals would reach the wrong thread.
        .set(CURLOPT_NOSIGNAL, 1L)
        // A request given up while its host name is still being looked up does not wait for
        // the resolver thread, whose own time-outs run to tens of seconds.
        .set(CURLOPT_QUICK_EXIT, 1L)
        .set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectTimeout.count()))
        // The ceiling to the millisecond; the progress check alone runs about once a second.
        .set(CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<std::int64_t>(1, left.count())))
        .set(CURLOPT_NOPROGRESS, 0L)
        .set(CURLOPT_XFERINFOFUNCTION, &onProgress)
        .set(CURLOPT_XFERINFODATA, &transfer)
        .set(CURLOPT_HEADERFUNCTION, &onHeader)
        .set(CURLOPT_HEADERDATA, &transfer)
        .set(CURLOPT_WRITEFUNCTION, &onBody)
        .set(CURLOPT_WRITEDATA, &transfer);
}

// One hop of a GET with the program's settings: no redirect is followed here, so that each
// hop meets the pin of its own host. next receives the hop's redirect, if it names one.
CURLcode PerformHop(const QByteArray& wireUrl, Transfer& transfer, const HttpGetTimeouts& timeouts,
                    std::chrono::milliseconds left, QByteArray& next) {
    EasyHandle handle(curl_easy_init());
    if (!handle) {
        return CURLE_FAILED_INIT;
    }
    CURL* h = handle.get();
    const QUrl parsed(QString::fromUtf8(wireUrl));
    const bool https = parsed.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const HttpTrust& trust = Trust();
    const bool pinned = IsPinnedHost(parsed, trust);
    if (pinned && !https) {
        // Plain http would carry no key to check.
        return CURLE_SSL_PINNEDPUBKEYNOTMATCH;
    }
    transfer.status = 0;
    transfer.location = false;

    Options options{h};
    SetTrustOptions(options, wireUrl, trust, pinned);
    SetTransferOptions(options, transfer, timeouts, left);
    if (!options.ok) {
        return CURLE_UNKNOWN_OPTION;
    }
    const CURLcode code = curl_easy_perform(h);
    curl_off_t received = 0;
    curl_easy_getinfo(h, CURLINFO_SIZE_DOWNLOAD_T, &received);
    transfer.earlierHops += static_cast<std::uint64_t>(received);
    const char* redirect = nullptr;
    if (code == CURLE_OK && transfer.redirecting() &&
        curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK && redirect != nullptr) {
        next = redirect;
    }
    return code;
}

// One GET, redirects followed hop by hop as the desktop's HTTP layer follows them, but never
// in a loop, and never from https back to plain http: what came over TLS never continues in
// the clear.
CURLcode Perform(const QString& url, Transfer& transfer, const HttpGetTimeouts& timeouts) {
    const auto start = std::chrono::steady_clock::now();
    QByteArray hop = EncodeUrlForWire(url);
    bool secure = false;
    for (long hops = 0; hops <= kMaxRedirects; ++hops) {
        const bool https = hop.toLower().startsWith("https:");
        if (secure && !https) {
            return CURLE_UNSUPPORTED_PROTOCOL;
        }
        secure = secure || https;
        const auto left = timeouts.ceiling - std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - start);
        if (left.count() <= 0) {
            return CURLE_OPERATION_TIMEDOUT;
        }
        QByteArray next;
        const CURLcode code = PerformHop(hop, transfer, timeouts, left, next);
        if (code != CURLE_OK || next.isEmpty()) {
            return code;
        }
        hop = std::move(next);
    }
    return CURLE_TOO_MANY_REDIRECTS;
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
