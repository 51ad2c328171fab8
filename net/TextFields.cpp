#include "net/TextFields.h"

#include <climits>
#include <cstdint>

QStringList SplitFields(const QString& text, const QString& separator) {
    QStringList fields;
    if (text.isEmpty()) {
        return fields;
    }
    if (separator.isEmpty()) {
        fields.append(text);
        return fields;
    }
    qsizetype start = 0;
    while (true) {
        const qsizetype at = text.indexOf(separator, start);
        if (at < 0) {
            fields.append(text.mid(start));
            return fields;
        }
        fields.append(text.mid(start, at - start));
        start = at + separator.size();
        if (start >= text.size()) {
            fields.append(QString());
            return fields;
        }
    }
}

int ParseLeadingInt(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    // The C runtime's wide white space for the "C" locale: blank, tab, line feed, vertical tab,
    // form feed, carriage return.
    while (i < n && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing once past the int range.
    std::int64_t value = 0;
    const std::int64_t limit = std::int64_t{INT_MAX} + 1;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        if (value <= limit) {
            value = value * 10 + (text[i].unicode() - u'0');
        }
        ++i;
    }
    if (negative) {
        return value >= limit ? INT_MIN : static_cast<int>(-value);
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

QByteArray PercentEncodeKeeping(const QByteArray& bytes, const QByteArray& keep) {
    // toPercentEncoding encodes "%" whatever it is told to keep, so the pieces between the
    // percent signs are encoded one by one.
    QList<QByteArray> pieces = bytes.split('%');
    for (QByteArray& piece : pieces) {
        piece = piece.toPercentEncoding(keep);
    }
    return pieces.join('%');
}
