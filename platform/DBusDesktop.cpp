#include "platform/DBusDesktop.h"

#include "platform/AppName.h"

namespace {
const QString kDesktopEntry = QStringLiteral("kestrel");
} // namespace

DBusDesktop::DBusDesktop(const QDBusConnection& bus)
    : launcher_(bus, kDesktopEntry + QStringLiteral(".desktop")),
      notifier_(bus, AppName(), kDesktopEntry, kDesktopEntry) {}
