#pragma once

#include <QString>

// The caption of every message box, the window title and the organisation name.
inline QString AppName() {
    return QStringLiteral("Emberway Kestrel");
}
