#include "ui/CSkinWindow.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ui/CAboutDlg.h"
#include "ui/SkinLayout.h"

QString CSkinWindow::AboutMenuText() {
    return QString::fromUtf8("Kestrel 정보(&A)...");
}

CSkinWindow::CSkinWindow(QWidget* parent) : QDialog(parent) {
    setModal(true);
    setFixedSize(skin::kClientSize);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setWindowIcon(LoadAppIcon());
    // The background picture covers the whole client area; nothing else fills it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSkinWindow::OnSysCommand(int id) {
    if ((id & ~0xF) == kAboutSysCommand) {
        OpenAboutBox();
    }
}

std::unique_ptr<QMenu> CSkinWindow::CreateSystemMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const QString text = AboutMenuText();
    if (!text.isEmpty()) {
        menu->addSeparator();
        QAction* about = menu->addAction(text);
        connect(about, &QAction::triggered, this, [this] { OnSysCommand(kAboutSysCommand); });
    }
    return menu;
}

void CSkinWindow::OpenAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void CSkinWindow::keyPressEvent(QKeyEvent* event) {
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

void CSkinWindow::contextMenuEvent(QContextMenuEvent* event) {
    CreateSystemMenu()->exec(event->globalPos());
}

void CSkinWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    skin_.PaintBackground(painter);
}

void CSkinWindow::mousePressEvent(QMouseEvent* event) {
    // Labels let presses through, so the whole surface except the buttons drags the window.
    if (event->button() == Qt::LeftButton) {
        if (QWindow* window = windowHandle()) {
            window->startSystemMove();
        }
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}
