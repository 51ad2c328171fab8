#include "ui/CSkinLabel.h"

#include "ui/CSkinLabelAccessible.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QPainter>

namespace {
QAccessibleInterface* CreateAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("CSkinLabel") && object->isWidgetType()) {
        return new CSkinLabelAccessible(static_cast<CSkinLabel*>(object));
    }
    return nullptr;
}
} // namespace

CSkinLabel::CSkinLabel(QWidget* parent) : QWidget(parent) {
    // Once per process, before any label is asked for its interface.
    static const bool factoryInstalled = (QAccessible::installFactory(CreateAccessible), true);
    Q_UNUSED(factoryInstalled);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(false);
}

void CSkinLabel::setId(int id) {
    id_ = id;
    update();
}

void CSkinLabel::setFlow(skin::TextFlow flow) {
    flow_ = flow;
    update();
}

void CSkinLabel::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    update();
    // The text is the label's accessible name: a screen reader hears of each change.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

QString CSkinLabel::shownText() const {
    if (flow_ != skin::TextFlow::EndEllipsis) {
        return text_;
    }
    const QFontMetrics metrics(skin::FontFor(skin::TextStyleFor(id_)));
    return metrics.elidedText(text_, Qt::ElideRight, width());
}

void CSkinLabel::paintEvent(QPaintEvent*) {
    if (text_.isEmpty()) {
        return;
    }
    const skin::TextStyle style = skin::TextStyleFor(id_);
    QPainter painter(this);
    painter.setFont(skin::FontFor(style));
    painter.setPen(style.color.isValid() ? style.color : palette().color(QPalette::WindowText));
    int flags = Qt::AlignTop;
    switch (flow_) {
    case skin::TextFlow::WrapLeft:
        flags |= Qt::AlignLeft | Qt::TextWordWrap;
        break;
    case skin::TextFlow::Right:
        flags |= Qt::AlignRight;
        break;
    case skin::TextFlow::EndEllipsis:
        flags |= Qt::AlignLeft | Qt::TextSingleLine;
        break;
    }
    painter.drawText(rect(), flags, shownText());
}
