#pragma once

#include <QProgressBar>

// The download progress bar: draws only the fill strip (picture 152), stretched over the share
// of its width that the position stands for. The rest shows whatever lies beneath it.
class CBitmapProgress : public QProgressBar {
    Q_OBJECT
public:
    explicit CBitmapProgress(QWidget* parent = nullptr);

    // Sets the position, clamped to the range as the stock control does.
    void SetPos(int pos);
    int GetPos() const;

    // Pixels filled at `pos` on a bar `width` pixels wide: truncated, never rounded, and always
    // of 100 steps whatever the range.
    static int FillWidth(int width, int pos);

protected:
    void paintEvent(QPaintEvent* event) override;
};
