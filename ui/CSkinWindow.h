#pragma once

#include <memory>

#include <QDialog>
#include <QString>

#include "ui/CSkinControls.h"

class QMenu;

// A frameless 610 x 400 dialog painted by its skin: its own taskbar entry, dragged by any
// press outside the buttons, deaf to Enter and Escape, with a right-click menu that stands in
// for the system menu of a framed window.
class CSkinWindow : public QDialog {
    Q_OBJECT
public:
    // The system menu's about item, and its text (string resource 101).
    static constexpr int kAboutSysCommand = 0x0010;
    static QString AboutMenuText();

    explicit CSkinWindow(QWidget* parent = nullptr);

    void OnSysCommand(int id);
    std::unique_ptr<QMenu> CreateSystemMenu();
    void OpenAboutBox();
    CSkinControls& Skin() { return skin_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

    CSkinControls skin_{this};
};
