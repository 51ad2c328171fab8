#include "net/AnsiText.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <iconv.h>
#include <langinfo.h>

#include <QSysInfo>

namespace {

const char16_t kReplacement = 0xFFFD;

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// The environment's codeset as it was before Qt started; empty until CaptureUserCodeset ran.
std::string& userCodeset() {
    static std::string codeset;
    return codeset;
}

std::string sourceCodeset() {
    const char* codeset = userCodeset().empty() ? nl_langinfo(CODESET) : userCodeset().c_str();
    if (codeset == nullptr || codeset[0] == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(codeset, "ASCII") == 0 || std::strcmp(codeset, "US-ASCII") == 0) {
        return "UTF-8";
    }
    return codeset;
}

} // namespace

void CaptureUserCodeset() {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string before = current != nullptr ? current : "C";
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
        userCodeset() = nl_langinfo(CODESET);
    }
    std::setlocale(LC_CTYPE, before.c_str());
}

QString DecodeAnsiText(const char* bytes) {
    return DecodeTextFrom(bytes, sourceCodeset().c_str());
}

QString DecodeTextFrom(const char* bytes, const char* codeset) {
    if (bytes == nullptr || bytes[0] == '\0') {
        return {};
    }
    const std::size_t length = std::strlen(bytes);
    const char* target = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
    iconv_t raw = iconv_open(target, codeset);
    if (raw == reinterpret_cast<iconv_t>(-1)) {
        // A codeset iconv does not know: read UTF-8, which also replaces bad bytes.
        return QString::fromUtf8(bytes, static_cast<qsizetype>(length));
    }
    std::unique_ptr<void, IconvCloser> cd(raw);

    // Two units per byte covers every codeset in use; the loop grows it for any other.
    std::vector<char16_t> out(length * 2 + 2);
    std::size_t produced = 0;
    char* in = const_cast<char*>(bytes);
    std::size_t inLeft = length;
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(out.data() + produced);
        std::size_t outLeft = (out.size() - produced) * sizeof(char16_t);
        const std::size_t rc = iconv(raw, &in, &inLeft, &outPtr, &outLeft);
        produced = out.size() - outLeft / sizeof(char16_t);
        if (rc != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ: one bad byte; EINVAL: a sequence cut off by the end. Either way the byte is
        // replaced and reading goes on after it.
        if (produced == out.size()) {
            out.resize(out.size() * 2);
        }
        out[produced++] = kReplacement;
        ++in;
        --inLeft;
        iconv(raw, nullptr, nullptr, nullptr, nullptr); // reset the shift state
    }
    return QString(reinterpret_cast<const QChar*>(out.data()), static_cast<qsizetype>(produced));
}

QByteArray EncodeAnsiText(const QString& text) {
    return EncodeTextTo(text, sourceCodeset().c_str());
}

QByteArray EncodeTextTo(const QString& text, const char* codeset) {
    const char* source = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
    iconv_t raw = iconv_open(codeset, source);
    if (raw == reinterpret_cast<iconv_t>(-1)) {
        return text.toUtf8();
    }
    std::unique_ptr<void, IconvCloser> cd(raw);
    QByteArray out;
    // One character (one or two UTF-16 units) at a time, so that one the codeset lacks can go
    // as UTF-8 on its own.
    char piece[16];
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype units = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        char* in = reinterpret_cast<char*>(const_cast<QChar*>(text.constData() + i));
        std::size_t inLeft = static_cast<std::size_t>(units) * sizeof(QChar);
        char* outPtr = piece;
        std::size_t outLeft = sizeof piece;
        if (iconv(raw, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
            iconv(raw, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            iconv(raw, nullptr, nullptr, nullptr, nullptr);
            out += text.mid(i, units).toUtf8();
        } else {
            out.append(piece, static_cast<qsizetype>(outPtr - piece));
        }
        i += units;
    }
    return out;
}
