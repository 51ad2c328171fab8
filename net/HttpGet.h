#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include <QString>
#include <QUrl>

// How long HttpGet waits. A connection that cannot be made in connectTimeout fails, and so does
// a transfer that brings fewer than floorBytes in any window of stallTimeout (a slow but moving
// transfer is never cut) or that is still going after `ceiling`.
struct HttpGetTimeouts {
    std::chrono::milliseconds connectTimeout{30'000};
    std::chrono::milliseconds stallTimeout{60'000};
    std::uint64_t floorBytes = 256;
    std::chrono::milliseconds ceiling{300'000};
};

// Whom https requests trust. Certificates are verified as curl does by default: against the
// system's authorities, for the URL's host name, within their dates.
struct HttpTrust {
    // A PEM file of the authorities to trust instead of the system's; empty: the system's.
    QString authorityFile;
    // Every hop of a request that reaches this host (the file server's), in any case and with
    // or without the root's trailing dot, goes over https only and the server must show this
    // public key, which is then the whole trust: no authority need sign it. curl's form,
    // "sha256//<base64 of the key's SHA-256>", several joined by ";". Empty: no pin.
    QString pinnedHost;
    QByteArray pinnedPublicKey;
};
// What the program trusts: the system's authorities and the pin the build names, if any.
HttpTrust BuiltInHttpTrust();
// Before any request, like InitHttpClient: the trust every later request uses. The program
// keeps the built-in one; tests give their own authority and pin.
void SetHttpTrust(HttpTrust trust);

// Once per process, before any thread starts: sets up the HTTP library with the built-in trust.
void InitHttpClient();
// Once per process, after every request has ended (no report thread left): releases it again.
void ShutdownHttpClient();

// One blocking GET of url into the caller's buffer. On success the body (at least one byte, at
// most capacity - 1) is followed by a zero byte and its length goes to *bodyLength. An empty body
// fails but still writes length 0; any other failure (no connection, a body of capacity bytes or
// more, a transfer that breaks off, a stall) leaves *bodyLength alone. The HTTP status is not
// looked at: an error page is a body like any other. Nothing is allocated for the body.
// Redirects are followed hop by hop, at most 5, and once a hop was https only to https. A
// certificate that fails verification, a pinned host that shows another key or is asked over
// plain http at any hop, or an option of the HTTP library that does not take, fails like a
// server that cannot be reached.
// Characters that cannot stand in a URL on the wire (blanks, controls, non-ASCII, " < > \ ^ ` { |
// }) are percent-encoded when the request is sent, non-ASCII in the codeset the server's text is
// read in (see EncodeAnsiText), so that an address it sent goes back in its own bytes.
bool HttpGet(const QString& url, char* buffer, std::uint32_t capacity, std::uint32_t* bodyLength,
             const HttpGetTimeouts& timeouts = {});

// HttpGet for a measurement: when the ceiling ends a body that has begun, what arrived of it
// counts as the body (a body that breaks off or outgrows the buffer still fails).
bool HttpGetUntilCeiling(const QString& url, char* buffer, std::uint32_t capacity,
                         std::uint32_t* bodyLength, const HttpGetTimeouts& timeouts);

// One GET of a statistics report. The page has taken the report once its answer begins, so an
// answer of at least one byte counts as delivered however it ends (larger than the buffer, broken
// off, stalled): the rest of it is not read, and at most capacity - 1 of its first bytes land in
// the buffer, followed by a zero byte. No answer or an empty one fails. Setting *cancel from
// another thread ends the request within about a second, whatever the time-outs, also while
// the host name is still being resolved.
bool HttpGetReport(const QString& url, char* buffer, std::uint32_t capacity,
                   const HttpGetTimeouts& timeouts = {}, const std::atomic<bool>* cancel = nullptr);

// The URL's host as URLs compare hosts, to tell whether it is the pinned one: in any case, with
// or without the root's trailing dot, an address in any of its spellings.
QString ComparableHost(const QUrl& url);

// The URL as it goes on the wire (see HttpGet).
QByteArray EncodeUrlForWire(const QString& url);
