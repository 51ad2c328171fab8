#include "DesktopWatch.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

#include "platform/DesktopNotifier.h"
#include "platform/LauncherEntry.h"

namespace {
int connections = 0;

QVariant Unwrapped(const QVariant& value) {
    return value.canConvert<QDBusVariant>() ? value.value<QDBusVariant>().variant() : value;
}

QVariantMap MapOf(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) {
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    }
    return value.toMap();
}
} // namespace

DesktopWatch::DesktopWatch(const QString& address, bool serveNotifications)
    : name_(QStringLiteral("desktop-watch-%1").arg(++connections)),
      bus_(QDBusConnection::connectToBus(address, name_)) {
    if (!bus_.isConnected()) {
        return;
    }
    const bool subscribed =
        bus_.connect(QString(), QString(), QString::fromLatin1(LauncherEntry::kInterface),
                     QStringLiteral("Update"), this, SLOT(onUpdate(QDBusMessage)));
    bool serving = true;
    if (serveNotifications) {
        serving =
            bus_.registerVirtualObject(QString::fromLatin1(DesktopNotifier::kPath), &service_) &&
            bus_.registerService(QString::fromLatin1(DesktopNotifier::kService));
    }
    ready_ = subscribed && serving;
}

DesktopWatch::~DesktopWatch() {
    bus_.unregisterObject(QString::fromLatin1(DesktopNotifier::kPath));
    QDBusConnection::disconnectFromBus(name_);
}

std::vector<DesktopWatch::Notification> DesktopWatch::notifications() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return notifications_;
}

void DesktopWatch::onUpdate(const QDBusMessage& message) {
    LauncherUpdate update;
    update.path = message.path();
    const QList<QVariant> args = message.arguments();
    if (args.size() == 2) {
        update.appUri = args[0].toString();
        const QVariantMap properties = MapOf(args[1]);
        if (properties.contains(QStringLiteral("progress"))) {
            update.progress = Unwrapped(properties[QStringLiteral("progress")]).toDouble();
        }
        if (properties.contains(QStringLiteral("progress-visible"))) {
            update.visible = Unwrapped(properties[QStringLiteral("progress-visible")]).toBool();
        }
    }
    updates.push_back(update);
}

QString DesktopWatch::NotificationService::introspect(const QString&) const {
    return {};
}

bool DesktopWatch::NotificationService::handleMessage(const QDBusMessage& message,
                                                      const QDBusConnection& connection) {
    if (message.member() != QStringLiteral("Notify") || message.signature() != "susssasa{sv}i") {
        connection.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
        return true;
    }
    const QList<QVariant> args = message.arguments();
    Notification n;
    n.appName = args[0].toString();
    n.replacesId = args[1].toUInt();
    n.icon = args[2].toString();
    n.summary = args[3].toString();
    n.body = args[4].toString();
    n.actions = args[5].toStringList();
    QVariantMap hints = MapOf(args[6]);
    for (auto it = hints.begin(); it != hints.end(); ++it) {
        it.value() = Unwrapped(it.value());
    }
    n.hints = hints;
    n.timeout = args[7].toInt();
    uint id = 0;
    {
        const std::lock_guard<std::mutex> lock(watch_.mutex_);
        watch_.notifications_.push_back(n);
        id = static_cast<uint>(watch_.notifications_.size());
    }
    connection.send(message.createReply(QVariant::fromValue(id)));
    return true;
}
