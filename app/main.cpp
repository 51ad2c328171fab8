#include <cstdlib>

#include <QApplication>

#include "app/CKestrelApp.h"
#include "app/crash/CCrashDumpWriter.h"
#include "engine/DownloadEngine.h"
#include "engine/OpenFileLimit.h"
#include "net/AnsiText.h"
#include "net/HttpGet.h"
#include "net/ReportSender.h"
#include "net/ServerAddress.h"
#include "platform/AppName.h"
#include "platform/Clock.h"
#include "platform/DBusDesktop.h"
#include "platform/QtPrompt.h"
#include "platform/SingleInstanceLock.h"

int main(int argc, char* argv[]) {
    // First of all, so that every later step, a refused second copy included, leaves a dump.
    static CCrashDumpWriter crashDumpWriter;
    // An installer of thousands of files keeps as many open; the usual soft limit is 1,024.
    RaiseOpenFileLimit();
    InitHttpClient();
    CaptureUserCodeset();
    QApplication application(argc, argv);
    // Ties the window to the installed desktop entry, for its icon on docks and task bars.
    QGuiApplication::setDesktopFileName(DesktopId());
    QtPrompt prompt;
    SystemClock clock;
    HttpReportSender sender;
    // Without a session bus this shows nothing, and says nothing about it.
    DBusDesktop desktop(QDBusConnection::sessionBus());
    CKestrelApp app(prompt, clock, sender, DefaultFileServer(), SingleInstanceLock::defaultPath(),
                    desktop);
    app.InitInstance();
    if (!DownloadEngine::AllSessionsEnded()) {
        // The session still waits on a disk that hangs, and the lock is already released: end
        // here, as the usual teardown would wait with it or pull the library from under it.
        std::_Exit(0);
    }
    // No request is left: the application has stopped the sender, whose threads have ended.
    ShutdownHttpClient();
    return 0;
}
