#include "app/CKestrelDlg.h"

#include <ctime>
#include <thread>

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <QWindow>

#include "app/StatusText.h"
#include "engine/AnnounceDelay.h"
#include "engine/DownloadEngine.h"
#include "engine/EngineEvent.h"
#include "engine/SessionSetup.h"
#include "net/DownloadCheck.h"
#include "net/ExplorerLauncher.h"
#include "platform/AppName.h"
#include "platform/Prompt.h"
#include "ui/CAboutDlg.h"
#include "ui/SkinLayout.h"

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
    InitSkinWindow();
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

void CKestrelDlg::CreateSkinControls() {
    const auto buttons = Buttons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const skin::ButtonSpec& entry = skin::kButtons[i];
        CHoverButton* button = buttons[i];
        button->setText(QString::fromLatin1(entry.text));
        button->move(entry.topLeft);
        button->LoadBitmaps(entry.images[0], entry.images[1], entry.images[2], entry.images[3]);
        button->SizeToContent();
        button->setToolTip(QString::fromLatin1(entry.toolTip));
        // Buttons are reached through their members; the id only names the command.
        connect(button, &QAbstractButton::clicked, this, [this, id = entry.id] { OnCommand(id); });
        button->show();
        button->update();
    }

    progressBar_.setGeometry(skin::kProgressRect);
    progressBar_.SetPos(skin::kProgressStartPos);

    const auto labels = Labels();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const skin::LabelSpec& entry = skin::kLabels[i];
        CSkinLabel* label = labels[i];
        label->setId(entry.id);
        label->setFlow(entry.flow);
        label->setText(QString::fromLatin1(entry.text));
        label->setGeometry(entry.rect);
        label->setVisible(entry.visible);
    }
}

bool CKestrelDlg::IsTaskValid() const {
    return task_.isValid();
}

bool CKestrelDlg::IsTaskComplete() const {
    return task_.isComplete();
}

void CKestrelDlg::ShowValueControls() {
    for (QWidget* control :
         std::initializer_list<QWidget*>{&progressBar_, &percentSuffix_, &pathValue_, &sizeValue_,
                                         &rateValue_, &peerValue_, &percentValue_}) {
        control->show();
    }
}

void CKestrelDlg::RefreshStatus() {
    RefreshStatusFrom(task_);
}

void CKestrelDlg::RestoreWebSeed() {}

void CKestrelDlg::CapWebSeedRate() {}

void CKestrelDlg::DropWebSeed() {}

void CKestrelDlg::BalanceServerPeer() {}

void CKestrelDlg::OnProgressReportTimer() {}

void CKestrelDlg::OpenAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void CKestrelDlg::SetPauseButtonLook(PauseLook look) {
    const bool pause = look == PauseLook::Pause;
    const skin::ImageSet& set = pause ? skin::kPauseImages : skin::kResumeImages;
    pauseButton_.LoadBitmaps(set[0], set[1], set[2], set[3]);
    pauseButton_.setToolTip(QString::fromLatin1(pause ? skin::kButtons[skin::PauseButton].toolTip
                                                      : skin::kResumeToolTip));
    // A switch made by an engine event would otherwise wait for the pointer to pass over it.
    pauseButton_.update();
}

void CKestrelDlg::EnablePauseButton(bool enabled) {
    pauseButton_.setEnabled(enabled);
}

void CKestrelDlg::ShowFilePath(const QString& folder, const QString& name) {
    pathValue_.setText(FilePathText(folder, name));
}

// --- Skin and status display -----------------------------------------------------------------

void CKestrelDlg::InitSkinWindow() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setWindowIcon(LoadAppIcon());
    // The background picture covers the whole client area; nothing else fills it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Every control exists from here on, hidden until CreateSkinControls places it.
    for (CHoverButton* button : Buttons()) {
        button->hide();
    }
    progressBar_.hide();
    for (CSkinLabel* label : Labels()) {
        label->hide();
    }
}

std::array<CHoverButton*, 5> CKestrelDlg::Buttons() {
    return {&pauseButton_, &folderButton_, &minimizeButton_, &closeButton_, &questionButton_};
}

std::array<CSkinLabel*, 11> CKestrelDlg::Labels() {
    return {&pathCaption_,   &sizeCaption_,  &rateCaption_, &peerCaption_,
            &percentSuffix_, &pathValue_,    &sizeValue_,   &rateValue_,
            &peerValue_,     &percentValue_, &titleLabel_};
}

void CKestrelDlg::ShowSizeLine(std::uint64_t done, std::uint64_t total) {
    sizeValue_.setText(SizeLineText(done, total));
}

void CKestrelDlg::ShowRateLine(std::uint32_t rate) {
    // The time left comes from the torrent's live figures, not from the rate shown.
    ShowRateLineWith(rate, task_.remainingTime());
}

void CKestrelDlg::ShowRateLineWith(std::uint32_t rate, std::optional<RemainingTime> left) {
    rateValue_.setText(RateLineText(rate, left));
}

void CKestrelDlg::ShowPeersLine(int count) {
    peerValue_.setText(PeersLineText(count, listenPort_));
}

void CKestrelDlg::ShowPercent(int percent) {
    percentValue_.setText(PercentText(percent));
    progressBar_.SetPos(percent);
}

void CKestrelDlg::InvalidateStatusAreas() {
    for (const QRect& area : skin::kStatusRepaintRects) {
        update(area);
    }
}

void CKestrelDlg::StartWindowMove() {
    if (QWindow* window = windowHandle()) {
        window->startSystemMove();
    }
}

void CKestrelDlg::paintEvent(QPaintEvent*) {
    if (background_.isNull()) {
        background_ = SkinPicture::Load(skin::kBackgroundPicture);
    }
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), background_.forRatio(painter.device()->devicePixelRatioF()));
}

void CKestrelDlg::mousePressEvent(QMouseEvent* event) {
    // Labels let presses through, so the whole surface except the buttons drags the window.
    if (event->button() == Qt::LeftButton) {
        StartWindowMove();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

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

// Download engine: start, events, announces, listen check, pause, close.

namespace {
const char* const kSaveFolderTitle = "Select the directory you would like to save the file to";
const char* const kAddFailedText = "Cannot connect to server. Please check your network. (5)";
const char* const kDiskFullText =
    "Disk space is full. Please try again after gaining additional disk space";
constexpr int kMinWebSeedUrlLength = 6;
} // namespace

void CKestrelDlg::StartDownload() {
    // Freed at the end, whatever the outcome.
    std::vector<char> torrentBuffer(kTorrentBufferSize);
    if (!RunDownloadCheck(torrentBuffer.data())) {
        CloseProgram();
        return;
    }
    saveFolder_ = ChooseSaveFolder(QString::fromLatin1(kSaveFolderTitle));
    if (saveFolder_.size() < 2) {
        CloseProgram();
        return;
    }

    engine_ = std::make_unique<DownloadEngine>(12, QStringLiteral("VrtTorrent"));
    listenPort_ = SetUpSession(*engine_, PortSeed());

    const bool added = engine_->AddTorrentFromBuffer(
        checkResult_.torrentData, checkResult_.torrentLength, saveFolder_, task_);
    // The check result points into the buffer, which goes at the end of this call.
    checkResult_.torrentData = nullptr;
    if (!added) {
        prompt_.messageBox(this, QString::fromLatin1(kAddFailedText), Prompt::Buttons::Ok);
        CloseProgram();
        return;
    }
    ApplyTorrentLimits(task_);
    ShowFilePath(task_.savePath(), task_.torrentName());
    EnablePauseButton(false);
}

bool CKestrelDlg::RunDownloadCheck(char* torrentBuffer) {
    return ::RunDownloadCheck(this, prompt_, fileServer_, checkResult_, statistics_, torrentBuffer);
}

QString CKestrelDlg::ChooseSaveFolder(const QString& title) {
    return prompt_.chooseFolder(this, title);
}

std::uint32_t CKestrelDlg::PortSeed() const {
    return static_cast<std::uint32_t>(std::time(nullptr));
}

void CKestrelDlg::PumpEngineEvents() {
    if (!engine_) {
        return;
    }
    EngineEvent event;
    while (engine_->NextEngineEvent(event)) {
        HandleEngineEvent(event);
    }
}

void CKestrelDlg::HandleEngineEvent(const EngineEvent& event) {
    switch (event.code) {
    case EngineEvent::Code::FileError:
        task_.PauseAfterFileError();
        // Every file error: the disk being full is by far the likeliest.
        prompt_.messageBox(this, QString::fromLatin1(kDiskFullText), Prompt::Buttons::Ok);
        break;
    case EngineEvent::Code::TrackerError:
    case EngineEvent::Code::TrackerWarning:
        RescheduleAnnounce();
        break;
    case EngineEvent::Code::TrackerReply:
        if (event.message != QLatin1String("Got peers from DHT")) {
            RescheduleAnnounce();
        }
        break;
    case EngineEvent::Code::TorrentFinished:
        EnablePauseButton(false);
        StampLocalTime(statistics_.completeTime);
        break;
    case EngineEvent::Code::TorrentPaused:
        SetPauseButtonLook(PauseLook::Resume);
        // Forgotten only: still connected, and the IP filter stays as it is.
        chosenServerPeer_.clear();
        break;
    case EngineEvent::Code::TorrentChecked:
        OnTorrentChecked();
        break;
    default:
        break;
    }
}

void CKestrelDlg::OnTorrentChecked() {
    EnablePauseButton(true);
    task_.Resume();
    CallInServerPeer();
    timers_.start(kListenCheckTimer, kListenCheckPeriodMs);
    if (checkResult_.webSeedUrl.size() >= kMinWebSeedUrlLength) {
        timers_.start(kWebSeedRestoreTimer, kWebSeedRestorePeriodMs);
        timers_.start(kWebSeedCapTimer, kWebSeedCapPeriodMs);
        timers_.start(kWebSeedDropTimer, kWebSeedDropPeriodMs);
    }
    timers_.start(kServerPeerTimer, kServerPeerPeriodMs);
    timers_.start(kProgressReportTimer, kProgressReportPeriodMs);
    SetInternalIp();
    StampLocalTime(statistics_.startTime);
}

void CKestrelDlg::RescheduleAnnounce() {
    const int delay = AnnounceDelaySeconds(task_.isComplete(), task_.peerCount());
    task_.ForceReannounce(delay);
}

void CKestrelDlg::CheckIncomingConnections() {
    // Timer 115 has already stopped itself.
    if (!engine_ || engine_->HasIncomingConnections()) {
        return;
    }
    engine_->StopListening();
    listenPort_ = 0;
}

void CKestrelDlg::TogglePause() {
    if (!task_.isValid()) {
        return;
    }
    if (task_.isPaused()) {
        SetPauseButtonLook(PauseLook::Pause);
        task_.Resume();
        CallInServerPeer();
    } else {
        SetPauseButtonLook(PauseLook::Resume);
        task_.Pause();
    }
}

void CKestrelDlg::OpenSaveFolder() {
    LaunchInExplorer(prompt_, saveFolder_);
}

void CKestrelDlg::CloseProgram() {
    if (engine_) {
        hide();
        setEnabled(false);
        engine_->PauseSession();
        engine_->StopDht();
        engine_->StopLsd();
        engine_->StopUpnp();
        engine_->StopNatpmp();
        if (!statistics_.baseUrl.isEmpty()) {
            SendCloseReports();
        }
        WaitBeforeClose(kCloseDelayMs);
    }
    // Without an engine there is nothing to stop or report: close at once.
    done(QDialog::Rejected);
}

void CKestrelDlg::WaitBeforeClose(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CKestrelDlg::CallInServerPeer() {}

void CKestrelDlg::SetInternalIp() {}

void CKestrelDlg::StampLocalTime(QString&) {}

void CKestrelDlg::SendCloseReports() {}
