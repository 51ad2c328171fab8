#pragma once

#include <QString>

class Prompt;

// The longest target that can be opened, in UTF-16 units.
inline constexpr qsizetype kMaxLaunchTarget = 2047;

// Escapes the query of a page address in place: only the text between the first and the second
// "?" is kept, percent-encoded; anything from a second "?" on is dropped. A text without "?" is
// left as it is. Encoded are blanks, controls, non-ASCII characters and
// " # < > [ \ ] ^ ` { | } / ?; everything else (letters, digits, % & = + and the rest) stays.
// Non-ASCII characters go in the codeset the server's text is read in (see EncodeAnsiText).
// Returns false, leaving text unchanged, when the result would be longer than kMaxLaunchTarget.
bool EscapeUrlQuery(QString& text);

// Opens a web page or a folder for the user through prompt.openExternal and returns at once.
// An existing local folder (an absolute path) goes as it is, whatever its name holds; a page's
// query is escaped first, and only http: and https: pages are opened. Anything else, or a target
// longer than kMaxLaunchTarget, is refused with false and nothing is started.
bool LaunchInExplorer(Prompt& prompt, const QString& target);
