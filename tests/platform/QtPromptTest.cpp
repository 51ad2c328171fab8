#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/QtPrompt.h"

// A notice from the server that looks like markup is shown as it is, and the box carries the
// application's caption and the asked buttons.
TEST(QtPrompt, MessageBoxShowsTextAsPlainText) {
    QString caption;
    QString shown;
    Qt::TextFormat format = Qt::RichText;
    int buttons = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        shown = box->text();
        format = box->textFormat();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::No)->click();
    });
    QtPrompt prompt;
    const auto answer = prompt.messageBox(nullptr, QStringLiteral("<b>Maintenance</b> <img src=x>"),
                                          Prompt::Buttons::YesNo);
    EXPECT_EQ(answer, Prompt::Answer::No);
    EXPECT_EQ(caption, QStringLiteral("Emberway Kestrel"));
    EXPECT_EQ(shown, QStringLiteral("<b>Maintenance</b> <img src=x>"));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(buttons, 2);
}

// The folder chooser opens in the player's download folder as the desktop's user folders name
// it, not in the folder the program was started from.
TEST(QtPrompt, FolderChooserOpensInTheDownloadFolder) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString downloads = home.filePath(QStringLiteral("Player Downloads"));
    ASSERT_TRUE(QDir().mkpath(downloads));
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("config"))));
    QFile dirs(home.filePath(QStringLiteral("config/user-dirs.dirs")));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOWNLOAD_DIR=\"" + downloads.toUtf8() + "\"\n");
    dirs.close();
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(home.path());

    QString opened;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        opened = dialog->directory().absolutePath();
        dialog->reject();
    });
    QtPrompt prompt;
    EXPECT_TRUE(prompt.chooseFolder(nullptr, QStringLiteral("Select")).isEmpty());
    QDir::setCurrent(oldCurrent);
    if (oldConfig.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }
    EXPECT_EQ(opened, downloads);
}
