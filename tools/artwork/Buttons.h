#pragma once

#include <vector>

#include "Artwork.h"

namespace art {

// The Pause, Resume and Show Containing Folder buttons: four looks each (normal, pressed, hover,
// disabled) under the skin's picture numbers.
void AddPillButtons(std::vector<Artwork>& out);

// The minimize, close and question squares, four looks each.
void AddSquareButtons(std::vector<Artwork>& out);

} // namespace art
