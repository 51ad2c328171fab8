#include "app/DesktopStatus.h"

#include "platform/Desktop.h"

QString DesktopStatus::CompleteSummary() {
    return QStringLiteral("Download complete");
}

QString DesktopStatus::CompleteBody() {
    return QStringLiteral("The game installer has been downloaded.");
}

void DesktopStatus::ShowPercent(int percent) {
    if (shown_ == percent) {
        return;
    }
    shown_ = percent;
    desktop_.ShowProgress(percent);
}

void DesktopStatus::Finished(bool windowActive) {
    // A torrent reports finished again after a recheck: only the first is the completion.
    if (finished_) {
        return;
    }
    finished_ = true;
    Clear();
    if (!windowActive) {
        desktop_.Notify(CompleteSummary(), CompleteBody());
    }
}

void DesktopStatus::Closing() {
    Clear();
}

void DesktopStatus::Clear() {
    if (shown_) {
        shown_.reset();
        desktop_.ClearProgress();
    }
}
