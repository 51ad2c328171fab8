#include "net/ExplorerLauncher.h"

#include <QDir>
#include <QFileInfo>

#include "net/TextFields.h"
#include "platform/Prompt.h"

namespace {

// Kept in a query besides letters, digits, - . _ ~ and "%"; blanks, controls, non-ASCII (as
// UTF-8) and " # < > [ \ ] ^ ` { | } / ? are percent-encoded.
const QByteArray kKeptInQuery = QByteArrayLiteral("!$&'()*+,:;=@");

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
    QString escaped = parts[0] + u'?' +
                      QString::fromLatin1(PercentEncodeKeeping(parts[1].toUtf8(), kKeptInQuery));
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
