#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QDialog>
#include <QString>

#include "app/TimerTable.h"
#include "engine/DownloadTask.h"
#include "net/DownloadCheckResult.h"
#include "net/StatisticsRecord.h"
#include "ui/CBitmapProgress.h"
#include "ui/CHoverButton.h"
#include "ui/CSkinLabel.h"
#include "ui/SkinPicture.h"

class DownloadEngine;
class Prompt;
struct EngineEvent;
class QMenu;

// The main window. It owns everything else, starts the download while it initialises and is
// then driven by its timers and its five commands, all on the UI thread.
class CKestrelDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 102;

    // Timer ids and periods.
    static constexpr int kStatusTimer = 109;
    static constexpr int kWebSeedCapTimer = 111;
    static constexpr int kWebSeedRestoreTimer = 112;
    static constexpr int kWebSeedDropTimer = 113;
    static constexpr int kServerPeerTimer = 114;
    static constexpr int kListenCheckTimer = 115;
    static constexpr int kProgressReportTimer = 116;
    static constexpr int kStatusPeriodMs = 300;

    // Command ids of the buttons.
    static constexpr int kPauseResumeCommand = 100;
    static constexpr int kShowFolderCommand = 101;
    static constexpr int kMinimizeCommand = 102;
    static constexpr int kCloseCommand = 103;
    static constexpr int kAboutCommand = 106;

    // The system menu's about item, and its text (string resource 101).
    static constexpr int kAboutSysCommand = 0x0010;
    static QString AboutMenuText();

    CKestrelDlg(Prompt& prompt, QString fileServer, QWidget* parent = nullptr);
    ~CKestrelDlg() override;

    // Initialises the window and runs it modally; returns at once when the start closed it.
    int DoModal();
    bool OnInitDialog();
    void OnTimer(int id);
    void OnCommand(int id);
    void OnSysCommand(int id);
    // The right-click menu that stands in for the system menu of a framed window.
    std::unique_ptr<QMenu> CreateSystemMenu();

    const TimerTable& Timers() const { return timers_; }
    // True once the dialog has ended (through done()), also before its loop ever ran.
    bool Ended() const { return ended_; }

protected:
    // Steps that the window's start, ticks and commands hand on.
    virtual void CreateSkinControls();
    virtual void StartDownload();
    virtual bool IsTaskValid() const;
    virtual bool IsTaskComplete() const;
    virtual void ShowValueControls();
    virtual void RefreshStatus();
    virtual void PumpEngineEvents();
    virtual void CheckIncomingConnections();
    virtual void RestoreWebSeed();
    virtual void CapWebSeedRate();
    virtual void DropWebSeed();
    virtual void BalanceServerPeer();
    virtual void OnProgressReportTimer();
    virtual void TogglePause();
    virtual void OpenSaveFolder();
    virtual void OpenAboutBox();
    // The Pause/Resume button: its image set names what the next click does.
    enum class PauseLook { Pause, Resume };
    virtual void SetPauseButtonLook(PauseLook look);
    virtual void EnablePauseButton(bool enabled);
    // The file path line, written once when the torrent has been added.
    virtual void ShowFilePath(const QString& folder, const QString& name);
    void RequestClose();
    virtual void CloseProgram();

    // Download engine: start, events, announces, listen check, pause, close.
    static constexpr int kListenCheckPeriodMs = 900000;
    static constexpr int kWebSeedRestorePeriodMs = 60000;
    static constexpr int kWebSeedCapPeriodMs = 700;
    static constexpr int kWebSeedDropPeriodMs = 10000;
    static constexpr int kServerPeerPeriodMs = 120000;
    static constexpr int kProgressReportPeriodMs = 300000;
    static constexpr int kCloseDelayMs = 2000;
    // Fills checkResult_, statistics_ and the torrent buffer; false after the user was told
    // why the download cannot begin.
    virtual bool RunDownloadCheck(char* torrentBuffer);
    QString ChooseSaveFolder(const QString& title);
    // The seed of the listen port draw: the time in seconds.
    virtual std::uint32_t PortSeed() const;
    // The window's reaction to one engine event.
    void HandleEngineEvent(const EngineEvent& event);
    virtual void RescheduleAnnounce();
    void OnTorrentChecked();
    // Work of the server-peer control and the statistics reports, called at its places.
    virtual void CallInServerPeer();
    virtual void SetInternalIp();
    virtual void StampLocalTime(QString& field);
    virtual void SendCloseReports();
    virtual void WaitBeforeClose(int ms);

    void done(int result) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // --- Skin and status display ---------------------------------------------------------------
    // Frameless, with its own taskbar entry, a system menu and a minimise action.
    void InitSkinWindow();
    // The status lines; each writes its label, which repaints the area under its old text.
    void ShowSizeLine(std::uint64_t done, std::uint64_t total);
    void ShowRateLine(std::uint32_t rate);
    void ShowRateLineWith(std::uint32_t rate, std::optional<RemainingTime> left);
    void ShowPeersLine(int count);
    void ShowPercent(int percent);
    void InvalidateStatusAreas();
    // The refresh, against anything that answers the task's inquiries. Every figure is its own
    // fresh inquiry and the three branches are tested one after the other: a state change
    // between two reads may run none of them, or two.
    template <typename Task>
    void RefreshStatusFrom(const Task& task) {
        if (!task.isValid()) {
            return;
        }
        if (task.isChecking()) {
            ShowSizeLine(0, static_cast<std::uint64_t>(task.totalSize()));
            ShowRateLineWith(0, task.remainingTime());
            ShowPeersLine(0);
            // The percentage follows the first file's check; a torrent always has one file.
            const std::vector<float> progress = task.fileProgress();
            ShowPercent(progress.empty() ? 0 : static_cast<int>(progress.front() * 100.0));
        }
        if (task.isDownloading()) {
            ShowSizeLine(static_cast<std::uint64_t>(task.totalDone()),
                         static_cast<std::uint64_t>(task.totalSize()));
            ShowRateLineWith(task.downloadRate(), task.remainingTime());
            ShowPeersLine(task.peerCount());
            ShowPercent(task.percentDone());
        }
        if (task.isComplete()) {
            ShowSizeLine(static_cast<std::uint64_t>(task.totalDone()),
                         static_cast<std::uint64_t>(task.totalSize()));
            ShowRateLineWith(0, task.remainingTime());
            ShowPeersLine(task.peerCount());
            ShowPercent(100);
        }
        InvalidateStatusAreas();
    }
    // Starts the window manager's move; a press on the background or a label lands here.
    virtual void StartWindowMove();
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

    // --- Skin controls, in creation (and stacking) order -----------------------------------------
    CHoverButton pauseButton_{this};
    CHoverButton folderButton_{this};
    CHoverButton minimizeButton_{this};
    CHoverButton closeButton_{this};
    CHoverButton questionButton_{this};
    CBitmapProgress progressBar_{this};
    CSkinLabel pathCaption_{this};
    CSkinLabel sizeCaption_{this};
    CSkinLabel rateCaption_{this};
    CSkinLabel peerCaption_{this};
    CSkinLabel percentSuffix_{this};
    CSkinLabel pathValue_{this};
    CSkinLabel sizeValue_{this};
    CSkinLabel rateValue_{this};
    CSkinLabel peerValue_{this};
    CSkinLabel percentValue_{this};
    CSkinLabel titleLabel_{this};
    // Loaded on the first paint and kept.
    SkinPicture background_;

    std::array<CHoverButton*, 5> Buttons();
    std::array<CSkinLabel*, 11> Labels();

    Prompt& prompt_;
    QString fileServer_;
    TimerTable timers_;
    DownloadTask task_;
    DownloadCheckResult checkResult_;
    StatisticsRecord statistics_;
    QString saveFolder_;
    // The port the engine listens on; 0 when it does not listen. The peers line shows it.
    quint16 listenPort_ = 0;
    bool ended_ = false;

    // Created by the start, kept until the window is gone.
    std::unique_ptr<DownloadEngine> engine_;
    // The server peer admitted at present, as an index into the check's list; none or one.
    std::vector<std::uint16_t> chosenServerPeer_;
};
