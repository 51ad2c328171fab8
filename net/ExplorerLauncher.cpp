#include "net/ExplorerLauncher.h"

#include <QDir>
#include <QFileInfo>

#include "net/TextFields.h"
#include "platform/Prompt.h"

namespace {

bool keepsInQuery(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F) {
        return false;
    }
    switch (c) {
    case '"':
    case '#':
    case '%':
    case '<':
    case '>':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
    case '/':
    case '?':
        return false;
    default:
        return true;
    }
}

QString escapeQuery(const QString& query) {
    static const char kHex[] = "0123456789ABCDEF";
    QString out;
    const QByteArray utf8 = query.toUtf8();
    out.reserve(utf8.size());
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (keepsInQuery(c)) {
            out.append(QChar(c));
        } else {
            out.append(u'%');
            out.append(QChar(kHex[c >> 4]));
            out.append(QChar(kHex[c & 0x0F]));
        }
    }
    return out;
}

bool isWebAddress(const QString& target) {
    return target.startsWith(u"http://", Qt::CaseInsensitive) ||
           target.startsWith(u"https://", Qt::CaseInsensitive);
}

bool isLocalFolder(const QString& target) {
    const QFileInfo info(target);
    return QDir::isAbsolutePath(target) && info.isDir();
}

} // namespace

bool EscapeUrlQuery(QString& text) {
    const QStringList parts = SplitFields(text, QStringLiteral("?"));
    if (parts.size() < 2) {
        return true;
    }
    QString escaped = parts[0] + u'?' + escapeQuery(parts[1]);
    if (escaped.size() > kMaxLaunchTarget) {
        return false;
    }
    text = std::move(escaped);
    return true;
}

bool LaunchInExplorer(Prompt& prompt, const QString& target) {
    if (target.size() > kMaxLaunchTarget) {
        return false;
    }
    QString escaped = target;
    if (!EscapeUrlQuery(escaped)) {
        return false;
    }
    // Server-given text: only pages and real folders, never a scheme that could run something.
    if (!isWebAddress(escaped) && !isLocalFolder(escaped)) {
        return false;
    }
    return prompt.openExternal(escaped);
}
