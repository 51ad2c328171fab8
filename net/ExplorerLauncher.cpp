#include "net/ExplorerLauncher.h"

#include <QDir>
#include <QFileInfo>

#include "net/AnsiText.h"
#include "net/ServerAddress.h"
#include "net/TextFields.h"
#include "platform/Prompt.h"

namespace {

// Kept in a query besides letters, digits, - . _ ~ and "%"; blanks, controls, non-ASCII (in the
// server's codeset) and " # < > [ \ ] ^ ` { | } / ? are percent-encoded.
const QByteArray kKeptInQuery = QByteArrayLiteral("!$&'()*+,:;=@");

bool isWebAddress(const QString& target) {
    return target.startsWith(u"http://", Qt::CaseInsensitive) || IsHttpsAddress(target);
}

bool isLocalFolder(const QString& target) {
    const QFileInfo info(target);
    return QDir::isAbsolutePath(target) && info.isDir();
}

// The non-ASCII characters of an address, percent-encoded in the server's codeset; the rest
// stays as it is.
QString EncodeNonAscii(const QString& text) {
    QString out;
    for (const char byte : EncodeAnsiText(text)) {
        const auto b = static_cast<unsigned char>(byte);
        if (b < 0x80) {
            out += QLatin1Char(byte);
        } else {
            out += u'%' + QString::number(b, 16).toUpper();
        }
    }
    return out;
}

} // namespace

bool EscapeUrlQuery(QString& text) {
    const QStringList parts = SplitFields(text, QStringLiteral("?"));
    if (parts.size() < 2) {
        return true;
    }
    QString escaped =
        parts[0] + u'?' +
        QString::fromLatin1(PercentEncodeKeeping(EncodeAnsiText(parts[1]), kKeptInQuery));
    if (escaped.size() > kMaxLaunchTarget) {
        return false;
    }
    text = std::move(escaped);
    return true;
}

bool LaunchWebPage(Prompt& prompt, const QString& page, bool httpsOnly) {
    // Server-given text: only pages, never a scheme that could run something.
    if (page.size() > kMaxLaunchTarget ||
        !(httpsOnly ? IsHttpsAddress(page) : isWebAddress(page))) {
        return false;
    }
    QString escaped = page;
    if (!EscapeUrlQuery(escaped)) {
        return false;
    }
    // The browser would send a raw non-ASCII path as UTF-8; the server's own bytes go instead.
    const qsizetype query = escaped.indexOf(u'?');
    escaped = EncodeNonAscii(escaped.left(query)) + (query < 0 ? QString() : escaped.mid(query));
    return escaped.size() <= kMaxLaunchTarget && prompt.openExternal(escaped);
}

bool LaunchInExplorer(Prompt& prompt, const QString& target) {
    if (isWebAddress(target)) {
        return LaunchWebPage(prompt, target);
    }
    // A folder's name is no address: "?", "#" and "%" in it are part of the name.
    return target.size() <= kMaxLaunchTarget && isLocalFolder(target) &&
           prompt.openExternal(target);
}
