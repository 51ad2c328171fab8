#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Splits text at every occurrence of separator. An empty text gives no field at all; a text
// ending in the separator gives an empty last field ("12|" gives "12" and ""; "|" gives two empty
// fields). Nothing is trimmed. An empty separator gives the whole text as one field.
QStringList SplitFields(const QString& text, const QString& separator);

// The number at the start of text as the C runtime's wide atoi reads it: leading white space, an
// optional sign, then decimal digits up to the first other character; 0 when there is no digit.
// Values beyond the int range give INT_MAX or INT_MIN instead of overflowing.
int ParseLeadingInt(const QString& text);

// Percent-encodes every byte except letters, digits, - . _ ~, the bytes in keep, and "%", which
// stays as it is so that text already escaped is not escaped twice. Hex digits are upper case.
QByteArray PercentEncodeKeeping(const QByteArray& bytes, const QByteArray& keep);
