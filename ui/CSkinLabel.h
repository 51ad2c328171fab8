#pragma once

#include <QString>
#include <QWidget>

#include "ui/SkinLayout.h"

// A text label of the skin: paints only its text, in the colour and font of the style its id
// selects, straight onto whatever lies beneath. Mouse presses pass through to the window.
class CSkinLabel : public QWidget {
    Q_OBJECT
public:
    explicit CSkinLabel(QWidget* parent = nullptr);

    void setId(int id);
    int id() const { return id_; }
    void setFlow(skin::TextFlow flow);
    skin::TextFlow flow() const { return flow_; }

    // Repaints the whole label, background first, so a shorter text leaves no trace of the old.
    void setText(const QString& text);
    QString text() const { return text_; }
    // The text as it fits the label: cut with an ellipsis under TextFlow::EndEllipsis.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int id_ = 0;
    skin::TextFlow flow_ = skin::TextFlow::WrapLeft;
    QString text_;
};
