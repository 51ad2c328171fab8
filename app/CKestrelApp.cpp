#include "app/CKestrelApp.h"

#include <QCoreApplication>

#include "app/CKestrelDlg.h"
#include "net/ReportSender.h"
#include "platform/AppName.h"
#include "platform/Prompt.h"
#include "platform/SingleInstanceLock.h"

CKestrelApp::CKestrelApp(Prompt& prompt, Clock& clock, ReportSender& sender, QString fileServer,
                         std::string lockPath, Desktop& desktop)
    : prompt_(prompt), clock_(clock), sender_(sender), fileServer_(std::move(fileServer)),
      lockPath_(std::move(lockPath)), desktop_(desktop) {}

bool CKestrelApp::InitInstance() {
    // The crash dump writer is already installed: main creates it before anything else.

    // Held for the whole run; the kernel releases it when the process ends.
    SingleInstanceLock lock;
    switch (lock.acquire(lockPath_)) {
    case SingleInstanceLock::Outcome::Failed:
        // Never a silent end: the player learns why, and where to look.
        prompt_.messageBox(
            nullptr,
            QStringLiteral("The program cannot start: the folder of %1 %2.")
                .arg(QString::fromStdString(lockPath_), QString::fromStdString(lock.problem())),
            Prompt::Buttons::Ok);
        return false;
    case SingleInstanceLock::Outcome::AlreadyHeld:
        prompt_.messageBox(nullptr, QStringLiteral("Another program is running!"),
                           Prompt::Buttons::Ok);
        return false;
    case SingleInstanceLock::Outcome::Acquired:
        break;
    }

    // Common controls and the base initialisation need nothing on Qt. The organisation name
    // only says where settings would live; nothing is stored.
    QCoreApplication::setOrganizationName(AppName());

    {
        CKestrelDlg dialog(prompt_, clock_, sender_, fileServer_, desktop_);
        dialog.DoModal();
    }
    // A progress report may still hang on a silent server: it is given up here (within about
    // a second, whatever the client's time-outs), so that no report thread outlives the run.
    sender_.stop();
    // Nothing of this copy may run past the release, so that a second copy started the moment
    // the lock goes finds nothing of this one at work: the window has taken its engine with it
    // (the session's shutdown included), and any thread of the program's own, such as a report
    // thread, must have ended before this point.
    lock.release();
    return false;
}
