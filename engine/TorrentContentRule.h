#pragma once

#include <string_view>

// What a torrent may put into the folder the player chose: nothing hidden at the top, where it
// would land among the player's own settings ("~/.bashrc", "~/.config/autostart/..."), and no
// link, which could point anywhere. Ordinary files, executable ones included, are fine.

// A top-level name (the single file's, or the folder of a multi-file torrent) beginning with
// "." is hidden.
bool IsHiddenName(std::string_view name);
// A file attribute text ("x", "lx", "p", ...) that marks a link holds an "l".
bool HasLinkAttribute(std::string_view attr);
