#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
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
