// The program under a Wayland compositor, with its real prompt: every message box and the folder
// chooser are answered once they show on the compositor's output, and what showed is printed,
// one line each, for the test that started this process.
//   wayland_smoke_child <file server URL> <lock file path>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include "app/CKestrelApp.h"
#include "net/AnsiText.h"
#include "net/HttpGet.h"
#include "net/ReportSender.h"
#include "platform/Clock.h"
#include "platform/QtPrompt.h"

namespace {

void Print(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// The window's surface as the compositor has it: its size, and the frame margins Qt's own
// decoration would add (none when the window is frameless).
QString Surface(QWidget* widget) {
    QWindow* window = widget ? widget->windowHandle() : nullptr;
    if (!window) {
        return QStringLiteral("none");
    }
    const QMargins frame = window->frameMargins();
    return QStringLiteral("%1x%2 exposed=%3 frame=%4,%5,%6,%7")
        .arg(window->width())
        .arg(window->height())
        .arg(window->isExposed())
        .arg(frame.left())
        .arg(frame.top())
        .arg(frame.right())
        .arg(frame.bottom());
}

// Answers each modal dialog from a timer inside its own loop, once the compositor shows it.
class AnsweringPrompt final : public Prompt {
public:
    Answer messageBox(QWidget* owner, const QString& text, Buttons buttons) override {
        Watch(owner, [](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                return false;
            }
            Print(QStringLiteral("message box: ") + box->text());
            box->done(QMessageBox::Ok);
            return true;
        });
        return real_.messageBox(owner, text, buttons);
    }
    QString chooseFolder(QWidget* owner, const QString& title) override {
        Watch(owner, [](QWidget* modal) {
            auto* chooser = qobject_cast<QFileDialog*>(modal);
            if (!chooser) {
                return false;
            }
            Print(QStringLiteral("folder chooser: ") + chooser->windowTitle());
            chooser->reject();
            return true;
        });
        return real_.chooseFolder(owner, title);
    }
    bool openExternal(const QString&) override { return false; }

private:
    // answer gets the active modal widget once it is exposed and says whether it was the one;
    // the owner's surface is printed first.
    void Watch(QWidget* owner, std::function<bool(QWidget*)> answer) {
        auto* timer = new QTimer(qApp);
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        QPointer<QWidget> ownerAlive(owner);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, started, ownerAlive] {
            QWidget* modal = QApplication::activeModalWidget();
            const bool shown = modal && modal->windowHandle() && modal->windowHandle()->isExposed();
            if (shown) {
                Print(QStringLiteral("owner: ") + Surface(ownerAlive.data()));
            }
            if (shown && answer(modal)) {
                timer->deleteLater();
                timer->stop();
            } else if (started->elapsed() > 60000) {
                // Bounds a compositor that never shows the dialog: the run fails, not hangs.
                Print(QStringLiteral("not shown"));
                std::_Exit(3);
            }
        });
        timer->start(20);
    }

    QtPrompt real_;
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        return 2;
    }
    InitHttpClient();
    CaptureUserCodeset();
    QApplication application(argc, argv);
    Print(QStringLiteral("platform: ") + QGuiApplication::platformName());
    AnsweringPrompt prompt;
    SystemClock clock;
    HttpReportSender sender;
    CKestrelApp app(prompt, clock, sender, QString::fromLocal8Bit(argv[1]), argv[2]);
    app.InitInstance();
    ShutdownHttpClient();
    Print(QStringLiteral("ended"));
    return 0;
}
