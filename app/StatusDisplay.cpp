#include "app/StatusDisplay.h"

#include "app/StatusText.h"
#include "ui/CSkinControls.h"

void StatusDisplay::ShowSizeLine(std::uint64_t done, std::uint64_t total) {
    skin_.SetText(skin::SizeValue, SizeLineText(done, total));
}

void StatusDisplay::ShowRateLine(std::uint32_t rate, std::optional<RemainingTime> left) {
    skin_.SetText(skin::RateValue, RateLineText(rate, left));
}

void StatusDisplay::ShowPeersLine(int count) {
    skin_.SetText(skin::PeerValue, PeersLineText(count, listenPort_));
}

void StatusDisplay::ShowPercent(int percent) {
    skin_.SetText(skin::PercentValue, PercentText(percent));
    skin_.SetProgress(percent);
}

void StatusDisplay::ShowFilePath(const QString& folder, const QString& name) {
    skin_.SetText(skin::PathValue, FilePathText(folder, name));
}

void StatusDisplay::InvalidateStatusAreas() {
    skin_.InvalidateStatusAreas();
}
