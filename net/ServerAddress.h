#pragma once

#include <QString>

// Scheme, host and optional port of the publisher's file server, as built in.
QString DefaultFileServer();

// The download check's URL on the given file server.
QString DownloadCheckUrl(const QString& fileServer);

// Whether the address's scheme is https (in any case).
bool IsHttpsAddress(const QString& url);
