#pragma once

#include <QString>

// The caption of every message box, the window title and the organisation name.
inline QString AppName() {
    return QStringLiteral("Emberway Kestrel");
}

// The desktop file id (kestrel.desktop without its ending): the window's, the taskbar entry's and
// every notification's tie to the installed entry and icon.
inline QString DesktopId() {
    return QStringLiteral("kestrel");
}
