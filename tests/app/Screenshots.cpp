// Pictures of the main window in each state and of the About box, for a person to look at,
// under <build>/screenshots. Run offscreen; QT_SCALE_FACTOR=2 gives the high-density set.
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QTest>

#include "StandInTask.h"
#include "app/StatusDisplay.h"
#include "ui/CAboutDlg.h"
#include "ui/CSkinWindow.h"

namespace {

bool Save(QWidget& widget, const QString& name) {
    const QImage image = widget.grab().toImage();
    const QDir dir(QStringLiteral(KESTREL_SCREENSHOT_DIR));
    QDir().mkpath(dir.path());
    const QString file =
        dir.filePath(QStringLiteral("%1@%2x.png").arg(name).arg(image.devicePixelRatio()));
    const bool saved = image.save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    CSkinWindow window;
    CSkinControls& skin = window.Skin();
    StatusDisplay status(skin);
    skin.CreateSkinControls([](int) {});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    bool ok = Save(window, "main-before-start");

    skin.ShowValueControls();
    status.ShowFilePath("/home/player/Games", "Emberway Full Installer");
    status.SetListenPort(23456);
    skin.EnablePauseButton(false);
    StandInTask checking;
    checking.checking = {true};
    checking.size = 7516192768LL;
    checking.files = {0.23f};
    status.RefreshStatus(checking);
    ok &= Save(window, "main-checking");

    skin.EnablePauseButton(true);
    StandInTask downloading;
    downloading.downloading = {true};
    downloading.done = 2791728742LL;
    downloading.size = 7516192768LL;
    downloading.rate = 3355443;
    downloading.left = RemainingTime{0, 23, 28};
    downloading.peers = 38;
    downloading.percent = 37;
    status.RefreshStatus(downloading);
    ok &= Save(window, "main-downloading");

    skin.SetPauseButtonLook(CSkinControls::PauseLook::Resume);
    downloading.downloading = {true};
    downloading.rate = 0;
    downloading.left = RemainingTime{0xFFFF, 0xFFFF, 0xFFFF};
    downloading.peers = 0;
    status.RefreshStatus(downloading);
    ok &= Save(window, "main-paused");

    skin.SetPauseButtonLook(CSkinControls::PauseLook::Pause);
    skin.EnablePauseButton(false);
    StandInTask complete;
    complete.complete = {true};
    complete.done = complete.size = 7516192768LL;
    complete.peers = 12;
    status.RefreshStatus(complete);
    ok &= Save(window, "main-complete");

    CAboutDlg about(&window);
    about.show();
    ok &= QTest::qWaitForWindowExposed(&about) && Save(about, "about");
    return ok ? 0 : 1;
}
