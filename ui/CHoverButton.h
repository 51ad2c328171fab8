#pragma once

#include <array>

#include <QAbstractButton>

#include "ui/SkinPicture.h"

// A picture push button: no text and no frame, one of four pictures of one size by its state,
// with the hover picture while the pointer rests on it. It never takes keyboard focus.
class CHoverButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Image { Normal, Pressed, Hover, Disabled };

    explicit CHoverButton(QWidget* parent = nullptr);

    // Replaces the image set; 0 means none. False when the normal picture is missing (then
    // nothing more is loaded) or another requested picture is. Shows at the next repaint.
    bool LoadBitmaps(int normal, int pressed = 0, int hover = 0, int disabled = 0);
    // Takes the normal picture's size, keeping the position.
    void SizeToContent();

    bool IsHovering() const { return hovering_; }
    // The picture the next paint draws.
    Image CurrentImage() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::array<SkinPicture, 4> images_;
    bool hovering_ = false;
};
