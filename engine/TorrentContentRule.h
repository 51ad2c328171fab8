#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

// What a torrent may put into the folder the player chose: nothing hidden at the top, where it
// would land among the player's own settings ("~/.bashrc", "~/.config/autostart/..."), and no
// link, which could point anywhere, no name that reads otherwise than it is, and nothing in a
// folder where the player's shell looks for commands. Ordinary files, executable ones
// included, are fine.

// A top-level name (the single file's, or the folder of a multi-file torrent) beginning with
// "." is hidden.
bool IsHiddenName(std::string_view name);
// A file attribute text ("x", "lx", "p", ...) that marks a link holds an "l".
bool HasLinkAttribute(std::string_view attr);
// Whether a name (UTF-8) holds a bidirectional control, which makes a name read as another
// ("setup\u2066txt.exe"): the marks and embeddings U+200E, U+200F, U+202A to U+202E (which the
// library already drops), the isolates U+2066 to U+2069 and the Arabic letter mark U+061C.
bool HasBidiControl(std::string_view name);

// The folders the player's shell looks for commands in: those of `path` (a PATH value, empty
// entries left out) and the two Debian's ~/.profile adds at the next login once they exist,
// home/bin and home/.local/bin.
std::vector<std::filesystem::path> CommandFolders(std::string_view path,
                                                  const std::filesystem::path& home);

// Whether any of `folders` (where the torrent's files land) is one of commandFolders. Links
// are resolved as far as the folders exist, so a link to a command folder is that folder.
bool AnyIsCommandFolder(const std::vector<std::filesystem::path>& folders,
                        const std::vector<std::filesystem::path>& commandFolders);
