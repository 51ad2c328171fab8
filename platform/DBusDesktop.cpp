#include "platform/DBusDesktop.h"

#include "platform/AppName.h"

DBusDesktop::DBusDesktop(const QDBusConnection& bus)
    : launcher_(bus, DesktopId() + QStringLiteral(".desktop")),
      notifier_(bus, AppName(), DesktopId(), DesktopId()) {}
