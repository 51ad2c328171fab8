#pragma once

#include <QString>

class Prompt;

// The longest target that can be opened, in UTF-16 units.
inline constexpr qsizetype kMaxLaunchTarget = 2047;

// Escapes the query of a page address in place: only the text between the first and the second
// "?" is kept, percent-encoded; anything from a second "?" on is dropped. A text without "?" is
// left as it is. Encoded are blanks, controls, non-ASCII characters (as UTF-8) and
// " # < > [ \ ] ^ ` { | } / ?; everything else (letters, digits, % & = + and the rest) stays.
// Returns false, leaving text unchanged, when the result would be longer than kMaxLaunchTarget.
bool EscapeUrlQuery(QString& text);

// Opens a web page or a folder for the user through prompt.openExternal and returns at once.
// The target's query is escaped first. Only http: and https: addresses and existing local folders
// (absolute paths) are opened; anything else, or a target longer than kMaxLaunchTarget, is refused
// with false and nothing is started.
bool LaunchInExplorer(Prompt& prompt, const QString& target);
