#pragma once

#include <QRectF>

class QPainter;

namespace art {

// The program's emblem, the kestrel on an amber tile, filling `box`; with its sheen, rim and
// the bird's shadow when detailed (too fine for the smallest icon).
void DrawEmblem(QPainter& p, const QRectF& box, bool detailed);

// The window's background at the skin's client size: body, panels, caption and the swarm.
void DrawBackground(QPainter& p);

} // namespace art
