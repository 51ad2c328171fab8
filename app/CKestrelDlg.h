#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QDialog>
#include <QString>

#include "app/TimerTable.h"
#include "engine/DownloadTask.h"
#include "net/DownloadCheckResult.h"
#include "net/StatisticsRecord.h"

class DownloadEngine;
class Prompt;
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
    void RescheduleAnnounce();
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
