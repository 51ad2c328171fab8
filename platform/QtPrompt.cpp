#include "platform/QtPrompt.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

#include "platform/AppName.h"

Prompt::Answer QtPrompt::messageBox(QWidget* owner, const QString& text, Buttons buttons) {
    QMessageBox box(owner);
    box.setWindowTitle(AppName());
    // Server-given notices are shown as they are: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

QString QtPrompt::chooseFolder(QWidget* owner, const QString& title) {
    // The player's download folder, never the current one: started from the desktop entry,
    // that is the home folder, where one click on "Choose" would put the files among the
    // player's own settings.
    return QFileDialog::getExistingDirectory(
        owner, title, QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
}

bool QtPrompt::openExternal(const QString& target) {
    // One argument, no shell: the target can never be read as a command.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}
