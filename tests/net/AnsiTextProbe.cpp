#include <clocale>
#include <cstdio>

#include <QCoreApplication>

#include "net/AnsiText.h"

// Starts as the program does (the user's codeset read first, then the Qt application object)
// and prints, as UTF-8, what server text reads as whose bytes argv[1] gives in hexadecimal.
// argv[2], when given, names a UTF-8 locale that the character-type locale moves to once the
// application object exists, as Qt does from 6.5 on (6.4 keeps the environment's).
int main(int argc, char* argv[]) {
    CaptureUserCodeset();
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        return 2;
    }
    if (argc > 2 && std::setlocale(LC_CTYPE, argv[2]) == nullptr) {
        return 3;
    }
    const QByteArray bytes = QByteArray::fromHex(argv[1]);
    std::fputs(DecodeAnsiText(bytes.constData()).toUtf8().constData(), stdout);
    return 0;
}
