#include <gtest/gtest.h>

#include <filesystem>

#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>

#include "Publisher.h"
#include "support/SwarmHarness.h"
#include "support/TempFolder.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

// The program under a real Wayland compositor: weston's headless back end with its desktop
// shell, in a runtime folder of the test's own. The program runs in a child process of its own
// on the wayland platform; the child answers the dialogs as they show (WaylandSmokeChild.cpp).
namespace {

const char* const kSocket = "kestrel-test-wayland";

class WaylandSmoke : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnlyLoopback()) {
            GTEST_SKIP() << "needs a network namespace of its own (run through ctest)";
        }
        const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
        if (weston.isEmpty()) {
            GTEST_SKIP() << "weston is not installed (Debian package weston): no Wayland run";
        }
        const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                               QStringLiteral("/platforms/libqwayland-generic.so");
        if (!QFileInfo::exists(plugin)) {
            GTEST_SKIP() << "Qt's wayland platform is not installed (Debian package qt6-wayland)";
        }
        runtime = temp.path() / "runtime";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
        compositor.setProcessEnvironment(env);
        compositor.setProgram(weston);
        compositor.setArguments(
            {QStringLiteral("--backend=headless-backend.so"),
             QStringLiteral("--socket=") + QString::fromLatin1(kSocket),
             QStringLiteral("--idle-time=0"),
             QStringLiteral("--log=") +
                 QString::fromStdString((temp.path() / "weston.log").string())});
        compositor.start();
        ASSERT_TRUE(compositor.waitForStarted());
        const bool listening = waitFor([&] {
            return fs::exists(runtime / kSocket) || compositor.state() == QProcess::NotRunning;
        });
        if (!listening || compositor.state() == QProcess::NotRunning) {
            GTEST_SKIP() << "weston did not start here (exit " << compositor.exitCode()
                         << "); its log: " << Log();
        }
    }
    void TearDown() override {
        if (compositor.state() != QProcess::NotRunning) {
            compositor.terminate();
            if (!compositor.waitForFinished(30000)) {
                compositor.kill();
                compositor.waitForFinished(30000);
            }
        }
    }

    std::string Log() {
        QFile log(QString::fromStdString((temp.path() / "weston.log").string()));
        return log.open(QIODevice::ReadOnly) ? log.readAll().toStdString() : std::string();
    }

    // Runs the program against fileServer to its end; its printed lines.
    QStringList RunProgram(const QString& fileServer) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QString::fromLatin1(kSocket));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.remove(QStringLiteral("DISPLAY"));
        // The headless back end offers no seat, and Qt 6.4's Wayland input context reaches for
        // the missing seat when a line edit paints its cursor (a crash in the folder chooser);
        // a desktop always has a seat. No input context here.
        env.insert(QStringLiteral("QT_IM_MODULE"), QStringLiteral("none"));
        // No session bus: what the program shows on the desktop must stay silent.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=/nonexistent/kestrel-test-bus"));
        // In the sanitized build, the leak check ignores what the Wayland client library keeps.
        const QString leaks = env.value(QStringLiteral("LSAN_OPTIONS"));
        env.insert(QStringLiteral("LSAN_OPTIONS"),
                   (leaks.isEmpty() ? QString() : leaks + QLatin1Char(':')) +
                       QStringLiteral("suppressions=" KESTREL_WAYLAND_LEAKS));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(KESTREL_WAYLAND_CHILD),
                      {fileServer, QString::fromStdString((runtime / "kestrel.lock").string())});
        EXPECT_TRUE(program.waitForStarted());
        // The bound only ends a hung run; the child itself gives up on a dialog after a minute.
        EXPECT_TRUE(program.waitForFinished(300000));
        errors = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << errors.toStdString();
        EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
        return QString::fromUtf8(program.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    TempFolder temp;
    fs::path runtime;
    QProcess compositor;
    QString errors;
};

} // namespace

// Against the sample publisher: the frameless 610 x 400 window is up when the folder chooser
// comes; cancelling it ends the program cleanly, and the compositor lives on.
TEST_F(WaylandSmoke, ReachesTheFolderChooserAndEndsCleanly) {
    publisher::PublisherOptions o;
    o.generatedBytes = 1024 * 1024;
    o.workFolder = temp.path() / "publisher";
    publisher::Publisher pub(o);
    pub.start();

    const QStringList lines = RunProgram(QString::fromStdString(pub.origin()));

    EXPECT_EQ(lines, (QStringList{
                         "platform: wayland", "owner: 610x400 exposed=1 frame=0,0,0,0",
                         "folder chooser: Select the directory you would like to save the file to",
                         "ended"}))
        << errors.toStdString();
    EXPECT_FALSE(errors.contains(QStringLiteral("dbus"), Qt::CaseInsensitive))
        << errors.toStdString();
    EXPECT_EQ(compositor.state(), QProcess::Running) << Log();
}

// No file server: the message box comes up over the window, and Ok ends the program.
TEST_F(WaylandSmoke, ShowsTheMessageBoxAndEndsCleanly) {
    const QStringList lines = RunProgram(QStringLiteral("http://127.0.0.1:9"));

    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString() << errors.toStdString();
    EXPECT_EQ(lines[0], "platform: wayland");
    EXPECT_EQ(lines[1], "owner: 610x400 exposed=1 frame=0,0,0,0");
    EXPECT_TRUE(lines[2].startsWith("message box: Cannot connect to server."))
        << lines[2].toStdString();
    EXPECT_EQ(lines[3], "ended");
    EXPECT_EQ(compositor.state(), QProcess::Running) << Log();
}
