#pragma once

#include <QProcess>
#include <QString>

// A session bus of the test's own: dbus-daemon --session on a fresh address, ended with the
// object. available() is false where dbus-daemon is missing or did not start; why() says why.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool available() const { return !address_.isEmpty(); }
    QString why() const { return why_; }
    // The address clients connect to.
    QString address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
    QString why_;
};
