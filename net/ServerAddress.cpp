#include "net/ServerAddress.h"

#include "net/BuildConfig.h"

QString DefaultFileServer() {
    return QStringLiteral(KESTREL_FILE_SERVER);
}

QString DownloadCheckUrl(const QString& fileServer) {
    return fileServer + QStringLiteral("/common/downloader/checkfiledownload.asp?JH=EMW_FULL");
}

bool IsHttpsAddress(const QString& url) {
    return url.startsWith(u"https://", Qt::CaseInsensitive);
}
