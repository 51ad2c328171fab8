#include "app/CKestrelDlg.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTimerEvent>

#include "platform/AppName.h"
#include "platform/Prompt.h"
#include "ui/CAboutDlg.h"

namespace {
constexpr int kClientWidth = 610;
constexpr int kClientHeight = 400;
} // namespace

QString CKestrelDlg::AboutMenuText() {
    return QString::fromUtf8("Kestrel 정보(&A)...");
}

CKestrelDlg::CKestrelDlg(Prompt& prompt, QString fileServer, QWidget* parent)
    : QDialog(parent), prompt_(prompt), fileServer_(std::move(fileServer)), timers_(this) {
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
}

CKestrelDlg::~CKestrelDlg() = default;

int CKestrelDlg::DoModal() {
    OnInitDialog();
    if (ended_) {
        return result();
    }
    return exec();
}

bool CKestrelDlg::OnInitDialog() {
    // The system menu is built when it is asked for (CreateSystemMenu), from string 101.
    setWindowTitle(AppName());
    show();
    CreateSkinControls();
    StartDownload();
    if (IsTaskValid()) {
        ShowValueControls();
        RefreshStatus();
        timers_.start(kStatusTimer, kStatusPeriodMs);
        update();
    }
    return true;
}

void CKestrelDlg::OnTimer(int id) {
    switch (id) {
    case kStatusTimer:
        // Texts first, events second: the texts show the state from before this tick's events.
        RefreshStatus();
        PumpEngineEvents();
        break;
    case kListenCheckTimer:
        timers_.stop(kListenCheckTimer); // runs once per torrent-checked event
        CheckIncomingConnections();
        break;
    case kWebSeedRestoreTimer:
        RestoreWebSeed();
        break;
    case kWebSeedCapTimer:
        CapWebSeedRate();
        break;
    case kWebSeedDropTimer:
        DropWebSeed();
        break;
    case kServerPeerTimer:
        BalanceServerPeer();
        break;
    case kProgressReportTimer:
        OnProgressReportTimer();
        break;
    default:
        break;
    }
}

void CKestrelDlg::OnCommand(int id) {
    switch (id) {
    case kPauseResumeCommand:
        TogglePause();
        break;
    case kShowFolderCommand:
        OpenSaveFolder();
        break;
    case kMinimizeCommand:
        showMinimized();
        break;
    case kCloseCommand:
        RequestClose();
        break;
    case kAboutCommand:
        OpenAboutBox();
        break;
    default:
        break;
    }
}

void CKestrelDlg::OnSysCommand(int id) {
    if ((id & ~0xF) == kAboutSysCommand) {
        OpenAboutBox();
    }
}

std::unique_ptr<QMenu> CKestrelDlg::CreateSystemMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const QString text = AboutMenuText();
    if (!text.isEmpty()) {
        menu->addSeparator();
        QAction* about = menu->addAction(text);
        connect(about, &QAction::triggered, this, [this] { OnSysCommand(kAboutSysCommand); });
    }
    return menu;
}

void CKestrelDlg::CreateSkinControls() {}

void CKestrelDlg::StartDownload() {}

bool CKestrelDlg::IsTaskValid() const {
    return task_.isValid();
}

bool CKestrelDlg::IsTaskComplete() const {
    return task_.isComplete();
}

void CKestrelDlg::ShowValueControls() {}

void CKestrelDlg::RefreshStatus() {}

void CKestrelDlg::PumpEngineEvents() {}

void CKestrelDlg::CheckIncomingConnections() {}

void CKestrelDlg::RestoreWebSeed() {}

void CKestrelDlg::CapWebSeedRate() {}

void CKestrelDlg::DropWebSeed() {}

void CKestrelDlg::BalanceServerPeer() {}

void CKestrelDlg::OnProgressReportTimer() {}

void CKestrelDlg::TogglePause() {}

void CKestrelDlg::OpenSaveFolder() {}

void CKestrelDlg::OpenAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void CKestrelDlg::SetPauseButtonLook(PauseLook) {}

void CKestrelDlg::EnablePauseButton(bool) {}

void CKestrelDlg::ShowFilePath(const QString&, const QString&) {}

void CKestrelDlg::RequestClose() {
    if (IsTaskValid() && !IsTaskComplete()) {
        const auto answer = prompt_.messageBox(
            this,
            QStringLiteral(
                "Download has not been completed. Would you still like to close the program?"),
            Prompt::Buttons::YesNo);
        if (answer != Prompt::Answer::Yes) {
            return;
        }
    }
    CloseProgram();
}

void CKestrelDlg::CloseProgram() {
    // Without an engine there is nothing to stop or report: close at once.
    done(QDialog::Rejected);
}

void CKestrelDlg::done(int result) {
    ended_ = true;
    timers_.stopAll();
    QDialog::done(result);
}

void CKestrelDlg::timerEvent(QTimerEvent* event) {
    if (auto id = timers_.idOf(event->timerId())) {
        OnTimer(*id);
        return;
    }
    QDialog::timerEvent(event);
}

void CKestrelDlg::keyPressEvent(QKeyEvent* event) {
    // Neither key may end the dialog.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CKestrelDlg::contextMenuEvent(QContextMenuEvent* event) {
    auto menu = CreateSystemMenu();
    menu->exec(event->globalPos());
}
