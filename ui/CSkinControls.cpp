#include "ui/CSkinControls.h"

#include <utility>

#include <QPaintDevice>
#include <QPainter>
#include <QWidget>

CSkinControls::CSkinControls(QWidget* window) : window_(window) {
    for (CHoverButton* button : Buttons()) {
        button->hide();
    }
    progressBar_.hide();
    for (CSkinLabel* label : Labels()) {
        label->hide();
    }
}

void CSkinControls::CreateSkinControls(std::function<void(int)> onCommand) {
    const auto buttons = Buttons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const skin::ButtonSpec& entry = skin::kButtons[i];
        CHoverButton* button = buttons[i];
        button->setText(QString::fromLatin1(entry.text));
        button->move(entry.topLeft);
        button->LoadBitmaps(entry.images[0], entry.images[1], entry.images[2], entry.images[3]);
        button->SizeToContent();
        button->setToolTip(QString::fromLatin1(entry.toolTip));
        button->setAccessibleName(QString::fromLatin1(entry.accessibleName));
        button->setAccessibleDescription(QString::fromLatin1(entry.accessibleDescription));
        // Buttons are reached through their members; the id only names the command.
        QObject::connect(button, &QAbstractButton::clicked, window_,
                         [onCommand, id = entry.command] { onCommand(id); });
        button->show();
        button->update();
    }

    progressBar_.setGeometry(skin::kProgressRect);
    progressBar_.setAccessibleName(QString::fromLatin1(skin::kProgressAccessibleName));
    progressBar_.SetPos(skin::kProgressStartPos);

    const auto labels = Labels();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const skin::LabelSpec& entry = skin::kLabels[i];
        CSkinLabel* label = labels[i];
        label->setId(entry.id);
        label->setFlow(entry.flow);
        label->setText(QString::fromLatin1(entry.text));
        label->setGeometry(entry.rect);
        label->setVisible(entry.visible);
    }
    // A screen reader reads each value with the caption it stands beside.
    const std::array<std::pair<CSkinLabel*, CSkinLabel*>, 4> captioned{{
        {&pathValue_, &pathCaption_},
        {&sizeValue_, &sizeCaption_},
        {&rateValue_, &rateCaption_},
        {&peerValue_, &peerCaption_},
    }};
    for (const auto& [value, caption] : captioned) {
        value->setAccessibleDescription(caption->text());
    }
    percentValue_.setAccessibleDescription(
        QString::fromLatin1(skin::kPercentAccessibleDescription));
}

void CSkinControls::ShowValueControls() {
    for (QWidget* control :
         std::initializer_list<QWidget*>{&progressBar_, &percentSuffix_, &pathValue_, &sizeValue_,
                                         &rateValue_, &peerValue_, &percentValue_}) {
        control->show();
    }
}

void CSkinControls::SetPauseButtonLook(PauseLook look) {
    pauseLook_ = look;
    const bool pause = look == PauseLook::Pause;
    const skin::ImageSet& set = pause ? skin::kPauseImages : skin::kResumeImages;
    pauseButton_.LoadBitmaps(set[0], set[1], set[2], set[3]);
    const skin::ButtonSpec& button = skin::kButtons[skin::PauseButton];
    pauseButton_.setToolTip(QString::fromLatin1(pause ? button.toolTip : skin::kResumeToolTip));
    pauseButton_.setAccessibleName(
        QString::fromLatin1(pause ? button.accessibleName : skin::kResumeAccessibleName));
    pauseButton_.setAccessibleDescription(QString::fromLatin1(
        pause ? button.accessibleDescription : skin::kResumeAccessibleDescription));
    // A switch made by an engine event would otherwise wait for the pointer to pass over it.
    pauseButton_.update();
}

void CSkinControls::EnablePauseButton(bool enabled) {
    pauseButton_.setEnabled(enabled);
}

void CSkinControls::SetText(skin::Label which, const QString& text) {
    label(which).setText(text);
}

void CSkinControls::SetProgress(int percent) {
    progressBar_.SetPos(percent);
}

void CSkinControls::InvalidateStatusAreas() {
    for (const QRect& area : skin::kStatusRepaintRects) {
        window_->update(area);
    }
}

void CSkinControls::PaintBackground(QPainter& painter) {
    if (background_.isNull()) {
        background_ = SkinPicture::Load(skin::kBackgroundPicture);
    }
    painter.drawPixmap(QPoint(0, 0), background_.forRatio(painter.device()->devicePixelRatioF()));
}

std::array<CHoverButton*, 5> CSkinControls::Buttons() {
    return {&pauseButton_, &folderButton_, &minimizeButton_, &closeButton_, &questionButton_};
}

std::array<CSkinLabel*, 11> CSkinControls::Labels() {
    return {&pathCaption_,   &sizeCaption_,  &rateCaption_, &peerCaption_,
            &percentSuffix_, &pathValue_,    &sizeValue_,   &rateValue_,
            &peerValue_,     &percentValue_, &titleLabel_};
}
