#include "PrivateSessionBus.h"

#include <QStandardPaths>

PrivateSessionBus::PrivateSessionBus() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty()) {
        why_ = QStringLiteral("dbus-daemon is not installed (Debian package dbus-daemon)");
        return;
    }
    daemon_.setProgram(program);
    daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--print-address=1"),
                          QStringLiteral("--address=unix:tmpdir=/tmp")});
    daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon_.start();
    // The daemon prints its address once it listens; the bound only limits a broken daemon.
    while (daemon_.waitForReadyRead(30000) || daemon_.canReadLine()) {
        if (daemon_.canReadLine()) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
            break;
        }
    }
    if (address_.isEmpty()) {
        why_ = QStringLiteral("dbus-daemon --session did not start: ") + daemon_.errorString();
    }
}

PrivateSessionBus::~PrivateSessionBus() {
    if (daemon_.state() == QProcess::NotRunning) {
        return;
    }
    daemon_.terminate();
    if (!daemon_.waitForFinished(30000)) {
        daemon_.kill();
        daemon_.waitForFinished(30000);
    }
}
