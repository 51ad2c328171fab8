#include <clocale>
#include <cstdio>
#include <cstring>

#include <QCoreApplication>

#include "net/AnsiText.h"
#include "net/ExplorerLauncher.h"
#include "net/HttpGet.h"
#include "platform/Prompt.h"

namespace {
// Prints the target it is asked to open, as UTF-8.
struct PrintingPrompt final : Prompt {
    Answer messageBox(QWidget*, const QString&, Buttons) override { return Answer::Ok; }
    QString chooseFolder(QWidget*, const QString&) override { return {}; }
    bool openExternal(const QString& target) override {
        std::fputs(target.toUtf8().constData(), stdout);
        return true;
    }
};
} // namespace

// Starts as the program does (the user's codeset read first, then the Qt application object)
// and prints, as UTF-8, what server text reads as whose bytes argv[1] gives in hexadecimal.
// argv[2], when given, names a UTF-8 locale that the character-type locale moves to once the
// application object exists, as Qt does from 6.5 on (6.4 keeps the environment's).
// "wire HEX" reads the bytes as a server's address instead and prints how it goes back: as a
// request on the wire, a line feed, and as a page opened for the user.
int main(int argc, char* argv[]) {
    CaptureUserCodeset();
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        return 2;
    }
    if (argc == 3 && std::strcmp(argv[1], "wire") == 0) {
        const QByteArray bytes = QByteArray::fromHex(argv[2]);
        const QString address = DecodeAnsiText(bytes.constData());
        std::fputs(EncodeUrlForWire(address).constData(), stdout);
        std::fputs("\n", stdout);
        PrintingPrompt prompt;
        return LaunchInExplorer(prompt, address) ? 0 : 4;
    }
    if (argc > 2 && std::setlocale(LC_CTYPE, argv[2]) == nullptr) {
        return 3;
    }
    const QByteArray bytes = QByteArray::fromHex(argv[1]);
    std::fputs(DecodeAnsiText(bytes.constData()).toUtf8().constData(), stdout);
    return 0;
}
