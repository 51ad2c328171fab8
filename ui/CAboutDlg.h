#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box (dialog template 100): the program's picture and name, a separator and four
// short notice lines. Close ends it.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // The label with the given control id (1003, 1004 or 1005); null for any other id.
    QLabel* labelById(int id) const;
    QPushButton* closeButton() const { return close_; }

private:
    QLabel* title_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* copyright_ = nullptr;
    QPushButton* close_ = nullptr;
};
