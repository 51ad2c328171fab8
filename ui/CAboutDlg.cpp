#include "ui/CAboutDlg.h"

namespace {
// The template is 235 x 106 dialog units at 2 pixels a unit.
constexpr int kWidth = 470;
constexpr int kHeight = 212;
} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Marovel Downloader Information"));
    setFixedSize(kWidth, kHeight);
}
