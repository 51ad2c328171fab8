#pragma once

#include <QAccessibleWidget>

class CSkinLabel;

// What a screen reader finds for a skin label: static text whose name is the label's text, as
// the label paints it (whole, not cut with an ellipsis), unless the label has a name of its own.
class CSkinLabelAccessible final : public QAccessibleWidget {
public:
    explicit CSkinLabelAccessible(CSkinLabel* label);

    QString text(QAccessible::Text t) const override;
};
