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

// Opens a web page for the user through prompt.openExternal and returns at once: only an
// http: or https: address (https: alone when httpsOnly), its query escaped first. The text is
// never taken for a local path. Anything else, or a page longer than kMaxLaunchTarget, is
// refused with false and nothing is started.
bool LaunchWebPage(Prompt& prompt, const QString& page, bool httpsOnly = false);

// Opens a web page (as LaunchWebPage) or an existing local folder (an absolute path, which
// goes as it is, whatever its name holds) for the user. The scheme is looked at first, so a
// page never touches the disk. Anything else is refused with false.
bool LaunchInExplorer(Prompt& prompt, const QString& target);
