#include "platform/DBusDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "DesktopWatch.h"
#include "PrivateSessionBus.h"
#include "support/WaitFor.h"

namespace {

// Qt's warnings while the object lives; a desktop without the services must cause none.
class WarningLog {
public:
    WarningLog() {
        lines().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type != QtDebugMsg && type != QtInfoMsg) {
                    lines().push_back(text);
                }
            });
    }
    ~WarningLog() { qInstallMessageHandler(previous_); }
    static QStringList& lines() {
        static QStringList seen;
        return seen;
    }

private:
    QtMessageHandler previous_;
};

class DBusDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!bus.available()) {
            GTEST_SKIP() << bus.why().toStdString();
        }
    }
    QDBusConnection programBus() {
        return QDBusConnection::connectToBus(bus.address(), QStringLiteral("program"));
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("program")); }

    PrivateSessionBus bus;
};

} // namespace

TEST_F(DBusDesktopTest, ProgressGoesOutAsLauncherEntrySignalsOnTheDesktopFileId) {
    DesktopWatch watch(bus.address(), false);
    ASSERT_TRUE(watch.ready());
    DBusDesktop desktop(programBus());

    desktop.ShowProgress(0);
    desktop.ShowProgress(42);
    desktop.ShowProgress(100);
    desktop.ShowProgress(130); // out of range: held at the full bar
    desktop.ClearProgress();

    ASSERT_TRUE(waitFor([&] { return watch.updates.size() == 5; }));
    const std::vector<std::optional<double>> progress{0.0, 0.42, 1.0, 1.0, 0.0};
    for (std::size_t i = 0; i < watch.updates.size(); ++i) {
        const auto& u = watch.updates[i];
        EXPECT_EQ(u.appUri, "application://kestrel.desktop");
        EXPECT_EQ(u.path, "/com/emberway/Kestrel/LauncherEntry");
        ASSERT_TRUE(u.progress.has_value()) << i;
        EXPECT_DOUBLE_EQ(*u.progress, *progress[i]) << i;
        EXPECT_EQ(u.visible, i < 4) << i;
    }
}

TEST_F(DBusDesktopTest, NotificationCarriesTheProgramsNameIconAndDesktopEntry) {
    DesktopWatch watch(bus.address(), true);
    ASSERT_TRUE(watch.ready());
    DBusDesktop desktop(programBus());

    desktop.Notify(QStringLiteral("Download complete"), QStringLiteral("All there."));

    ASSERT_TRUE(waitFor([&] { return watch.notifications().size() == 1; }));
    const auto n = watch.notifications().front();
    EXPECT_EQ(n.appName, "Emberway Kestrel");
    EXPECT_EQ(n.icon, "kestrel");
    EXPECT_EQ(n.summary, "Download complete");
    EXPECT_EQ(n.body, "All there.");
    EXPECT_EQ(n.replacesId, 0u);
    EXPECT_TRUE(n.actions.isEmpty());
    EXPECT_EQ(n.hints.value(QStringLiteral("desktop-entry")).toString(), "kestrel");
    EXPECT_EQ(n.timeout, -1);
}

// A bus with nobody serving notifications answers the call with an error: dropped without a
// word, and the connection goes on carrying the progress.
TEST_F(DBusDesktopTest, WithoutANotificationServiceTheCallIsDroppedQuietly) {
    DesktopWatch watch(bus.address(), false);
    ASSERT_TRUE(watch.ready());
    WarningLog warnings;
    QDBusConnection program = programBus();
    ASSERT_FALSE(
        program.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")));
    DBusDesktop desktop(program);

    desktop.Notify(QStringLiteral("Download complete"), QStringLiteral("All there."));
    desktop.ShowProgress(7);

    ASSERT_TRUE(waitFor([&] { return watch.updates.size() == 1; }));
    EXPECT_DOUBLE_EQ(watch.updates.front().progress.value_or(-1), 0.07);
    EXPECT_TRUE(WarningLog::lines().isEmpty()) << WarningLog::lines().join('\n').toStdString();
}

// The program's own path: the session bus named by the environment, here one that is not there.
TEST(DBusDesktopWithoutBus, DoesNothingAndSaysNothing) {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrel-test-bus");
    WarningLog warnings;
    const QDBusConnection session = QDBusConnection::sessionBus();
    ASSERT_FALSE(session.isConnected());
    DBusDesktop desktop(session);
    desktop.ShowProgress(50);
    desktop.Notify(QStringLiteral("Download complete"), QStringLiteral("All there."));
    desktop.ClearProgress();
    EXPECT_TRUE(WarningLog::lines().isEmpty()) << WarningLog::lines().join('\n').toStdString();
}
