#pragma once

#include <QByteArray>
#include <QString>

// The 8-bit text the publisher's server sends, up to its first zero byte, turned into UTF-16.
// The bytes are read in the locale's codeset (UTF-8 when the locale is plain ASCII or "C");
// bytes that do not convert become U+FFFD. bytes may be null (gives an empty text).
QString DecodeAnsiText(const char* bytes);

// Once in main, before the Qt application object and any thread: Qt from 6.5 on moves the
// character-type locale to UTF-8 when it starts, so the user's own codeset is read from the
// environment first and DecodeAnsiText keeps to it.
void CaptureUserCodeset();

// The way back: text as bytes in the codeset DecodeAnsiText reads, so that an address the server
// sent goes back to it in the same bytes. A character the codeset lacks goes as UTF-8.
QByteArray EncodeAnsiText(const QString& text);
QByteArray EncodeTextTo(const QString& text, const char* codeset);

// The same for a named iconv codeset ("EUC-KR", "ISO-8859-1", ...); an unknown codeset reads
// UTF-8.
QString DecodeTextFrom(const char* bytes, const char* codeset);
