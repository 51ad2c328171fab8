#pragma once

#include <array>

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>

// Every coordinate of the main window's skin, in pixels of its 610 x 400 client area, and the
// text styles its labels are drawn in.
namespace skin {

// A rectangle given as left, top, right, bottom (right and bottom exclusive).
constexpr QRect Ltrb(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

constexpr QSize kClientSize{610, 400};

// Picture resource numbers.
constexpr int kBackgroundPicture = 171;
constexpr int kFillStripPicture = 152;
constexpr int kAboutPicture = 216;
constexpr int kAboutLinePicture = 217;
constexpr int kIconGroup = 212;

// An image set: normal, pressed, hover, disabled.
using ImageSet = std::array<int, 4>;
constexpr ImageSet kPauseImages{163, 165, 166, 164};
constexpr ImageSet kResumeImages{167, 133, 170, 168};

// The command ids the buttons' clicks send to the window.
enum Command : int {
    kPauseResumeCommand = 100,
    kShowFolderCommand = 101,
    kMinimizeCommand = 102,
    kCloseCommand = 103,
    kAboutCommand = 106,
};

struct ButtonSpec {
    Command command;
    const char* text;
    QPoint topLeft; // its size is its normal picture's
    ImageSet images;
    const char* toolTip;
    // What a screen reader says for it, and what it adds when asked for more.
    const char* accessibleName;
    const char* accessibleDescription;
};

// In creation order.
enum Button { PauseButton, FolderButton, MinimizeButton, CloseButton, QuestionButton };
inline constexpr std::array<ButtonSpec, 5> kButtons{{
    {kPauseResumeCommand,
     "Pause/Resume",
     {109, 292},
     kPauseImages,
     "Pause",
     "Pause",
     "Pauses the download"},
    {kShowFolderCommand,
     "ShowContainingFolder",
     {203, 292},
     {159, 161, 162, 132},
     "Show the download folder",
     "Show folder",
     "Opens the folder the download is saved in"},
    {kMinimizeCommand,
     "Minimize",
     {570, 7},
     {172, 174, 175, 173},
     "Minimise",
     "Minimise",
     "Minimises the window; the download goes on"},
    {kCloseCommand,
     "Close",
     {587, 7},
     {131, 157, 158, 156},
     "Close",
     "Close",
     "Closes the program"},
    {kAboutCommand,
     "Question",
     {553, 7},
     {194, 196, 193, 195},
     "About",
     "About",
     "Shows the program's version"},
}};
constexpr const char* kResumeToolTip = "Resume";
constexpr const char* kResumeAccessibleName = "Resume";
constexpr const char* kResumeAccessibleDescription = "Resumes the download";
constexpr const char* kProgressAccessibleName = "Download progress";
constexpr const char* kPercentAccessibleDescription = "Percent done";

constexpr QRect kProgressRect = Ltrb(41, 232, 427, 245);
constexpr int kProgressStartPos = 50;

// Label ids select the text style.
constexpr int kCaptionStyleId = 104;
constexpr int kValueStyleId = 105;
constexpr int kTitleStyleId = 108;

// How a label lays out its text.
enum class TextFlow {
    WrapLeft,    // left-aligned, wraps at word breaks
    Right,       // right-aligned
    EndEllipsis, // one line, cut with an ellipsis when too long
};

struct LabelSpec {
    int id;
    const char* text;
    QRect rect;
    bool visible;
    TextFlow flow;
};

// In creation order. percentSuffix and percentValue reach below the client area on purpose;
// only the part inside it shows.
enum Label {
    PathCaption,
    SizeCaption,
    RateCaption,
    PeerCaption,
    PercentSuffix,
    PathValue,
    SizeValue,
    RateValue,
    PeerValue,
    PercentValue,
    TitleLabel,
};
inline constexpr std::array<LabelSpec, 11> kLabels{{
    {kCaptionStyleId, "File path", Ltrb(50, 148, 500, 166), true, TextFlow::WrapLeft},
    {kCaptionStyleId, "File size", Ltrb(50, 166, 500, 184), true, TextFlow::WrapLeft},
    {kCaptionStyleId, "Down rate", Ltrb(50, 184, 500, 202), true, TextFlow::WrapLeft},
    {kCaptionStyleId, "Peer", Ltrb(50, 202, 500, 220), true, TextFlow::WrapLeft},
    {kValueStyleId, "/100%", Ltrb(205, 262, 500, 520), false, TextFlow::WrapLeft},
    {kValueStyleId, "", Ltrb(115, 148, 415, 166), false, TextFlow::EndEllipsis},
    {kValueStyleId, "", Ltrb(115, 166, 415, 184), false, TextFlow::EndEllipsis},
    {kValueStyleId, "", Ltrb(115, 184, 415, 202), false, TextFlow::EndEllipsis},
    {kValueStyleId, "", Ltrb(80, 202, 400, 220), false, TextFlow::EndEllipsis},
    {kCaptionStyleId, "", Ltrb(178, 262, 204, 520), false, TextFlow::Right},
    {kTitleStyleId, "Kestrel", Ltrb(30, 30, 300, 80), true, TextFlow::WrapLeft},
}};

// The areas under the size, rate and peers lines and the percentage, repainted after every
// status refresh.
inline constexpr std::array<QRect, 4> kStatusRepaintRects{
    Ltrb(100, 166, 300, 184),
    Ltrb(100, 184, 420, 202),
    Ltrb(80, 202, 300, 220),
    Ltrb(182, 262, 204, 280),
};

struct TextStyle {
    QColor color;
    int cellHeight; // pixels
    int weight;     // 1 to 1000
    bool title;     // the display face rather than the text face
};

// The style a label id selects; ids without a style draw in the caption style's face with the
// palette's text colour, which no label of the skin uses.
TextStyle TextStyleFor(int id);
QFont FontFor(const TextStyle& style);

// The About box, in pixels (its template is in dialog units at 2 pixels a unit).
namespace about {
constexpr QSize kSize{470, 212};
constexpr QColor kLabelColor{116, 106, 101};
constexpr int kTitleId = 1003;
constexpr int kVersionId = 1004;
constexpr int kCopyrightId = 1005;
constexpr QRect kTitleRect{20, 86, 316, 26};
constexpr QRect kCloseRect{178, 166, 100, 32};
constexpr QRect kNotice1Rect{20, 22, 302, 36};
constexpr QPoint kPictureAt{330, 12};
constexpr QPoint kLineAt{14, 72};
constexpr QRect kNotice2Rect{20, 46, 302, 20};
constexpr QRect kVersionRect{20, 108, 296, 28};
constexpr QRect kCopyrightRect{20, 132, 296, 18};
constexpr int kFontPixels = 12;
} // namespace about

} // namespace skin
