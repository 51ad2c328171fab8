#include "ui/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "platform/BuildInfo.h"
#include "ui/SkinLayout.h"
#include "ui/SkinPicture.h"

namespace {

QLabel* MakeText(QWidget* parent, const QString& text, const QRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Drawn in the dialog's muted brown-grey, with no background of its own.
QLabel* MakeMutedText(QWidget* parent, const QString& text, const QRect& rect) {
    QLabel* label = MakeText(parent, text, rect);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, skin::about::kLabelColor);
    label->setPalette(palette);
    label->setAutoFillBackground(false);
    return label;
}

QLabel* MakePicture(QWidget* parent, int id, QPoint at) {
    auto* label = new QLabel(parent);
    const SkinPicture picture = SkinPicture::Load(id);
    label->setPixmap(picture.forRatio(parent->devicePixelRatioF()));
    // A picture control takes its picture's size.
    label->setGeometry(QRect(at, picture.size()));
    return label;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    using namespace skin::about;
    setWindowTitle(QStringLiteral("Marovel Downloader Information"));
    setFixedSize(kSize);
    QFont dialogFont = font();
    dialogFont.setFamilies({QStringLiteral("NanumGothic"), QStringLiteral("DejaVu Sans")});
    dialogFont.setPixelSize(kFontPixels);
    setFont(dialogFont);

    title_ = MakeMutedText(this, QStringLiteral("Marovel  Downloader "), kTitleRect);

    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setGeometry(kCloseRect);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);

    MakeText(this, QStringLiteral("Kestrel fetches the full game installer for you."),
             kNotice1Rect);
    MakePicture(this, skin::kAboutPicture, kPictureAt);
    MakePicture(this, skin::kAboutLinePicture, kLineAt);
    MakeText(this, QStringLiteral("Keep it open to finish sooner and help others."), kNotice2Rect);
    version_ = MakeMutedText(
        this, QStringLiteral("Version ") + QString::fromLatin1(build::kVersionText), kVersionRect);
    copyright_ = MakeMutedText(
        this, QStringLiteral("Copyright \u00A9 Emberway. All rights reserved."), kCopyrightRect);
}

QLabel* CAboutDlg::labelById(int id) const {
    switch (id) {
    case skin::about::kTitleId:
        return title_;
    case skin::about::kVersionId:
        return version_;
    case skin::about::kCopyrightId:
        return copyright_;
    default:
        return nullptr;
    }
}
