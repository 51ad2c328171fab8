#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QString>

// Saves a picture for a person to look at, as <build>/screenshots/<name>@<ratio>x.png.
inline void SaveScreenshot(const QImage& image, const QString& name) {
    const QDir dir(QStringLiteral(KESTREL_SCREENSHOT_DIR));
    QDir().mkpath(dir.path());
    const QString file =
        dir.filePath(QStringLiteral("%1@%2x.png").arg(name).arg(image.devicePixelRatio()));
    EXPECT_TRUE(image.save(file)) << file.toStdString();
}
