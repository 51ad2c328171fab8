#pragma once

#include <array>
#include <functional>

#include <QString>

#include "ui/CBitmapProgress.h"
#include "ui/CHoverButton.h"
#include "ui/CSkinLabel.h"
#include "ui/SkinLayout.h"
#include "ui/SkinPicture.h"

class QPainter;
class QWidget;

// The main window's skin: its buttons, progress bar and labels, in creation (and stacking)
// order, and the background picture under them. The controls are children of the window from
// construction on, hidden until CreateSkinControls places them.
class CSkinControls {
public:
    explicit CSkinControls(QWidget* window);

    // Places, labels and shows the controls; a click on a button hands its command id on.
    void CreateSkinControls(std::function<void(int)> onCommand);
    // The progress bar and the value labels, shown once there is a download to show.
    void ShowValueControls();

    // The Pause/Resume button: its image set names what the next click does.
    enum class PauseLook { Pause, Resume };
    void SetPauseButtonLook(PauseLook look);
    PauseLook pauseLook() const { return pauseLook_; }
    void EnablePauseButton(bool enabled);

    // Writes one label; the label repaints the area under its old text.
    void SetText(skin::Label which, const QString& text);
    void SetProgress(int percent);
    // Repaints the areas under the status lines, after each refresh.
    void InvalidateStatusAreas();
    // Draws the background picture, loaded on first use and kept.
    void PaintBackground(QPainter& painter);

    CHoverButton& button(skin::Button which) { return *Buttons()[which]; }
    CSkinLabel& label(skin::Label which) { return *Labels()[which]; }
    CBitmapProgress& progressBar() { return progressBar_; }

private:
    std::array<CHoverButton*, 5> Buttons();
    std::array<CSkinLabel*, 11> Labels();

    QWidget* window_;
    CHoverButton pauseButton_{window_};
    CHoverButton folderButton_{window_};
    CHoverButton minimizeButton_{window_};
    CHoverButton closeButton_{window_};
    CHoverButton questionButton_{window_};
    CBitmapProgress progressBar_{window_};
    CSkinLabel pathCaption_{window_};
    CSkinLabel sizeCaption_{window_};
    CSkinLabel rateCaption_{window_};
    CSkinLabel peerCaption_{window_};
    CSkinLabel percentSuffix_{window_};
    CSkinLabel pathValue_{window_};
    CSkinLabel sizeValue_{window_};
    CSkinLabel rateValue_{window_};
    CSkinLabel peerValue_{window_};
    CSkinLabel percentValue_{window_};
    CSkinLabel titleLabel_{window_};
    SkinPicture background_;
    PauseLook pauseLook_ = PauseLook::Pause;
};
