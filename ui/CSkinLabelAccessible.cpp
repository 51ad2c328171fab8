#include "ui/CSkinLabelAccessible.h"

#include "ui/CSkinLabel.h"

CSkinLabelAccessible::CSkinLabelAccessible(CSkinLabel* label)
    : QAccessibleWidget(label, QAccessible::StaticText) {}

QString CSkinLabelAccessible::text(QAccessible::Text t) const {
    const auto* label = static_cast<const CSkinLabel*>(widget());
    if (t == QAccessible::Name && label->accessibleName().isEmpty()) {
        return label->text();
    }
    return QAccessibleWidget::text(t);
}
