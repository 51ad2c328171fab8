#include <QApplication>

#include "app/CKestrelApp.h"
#include "net/HttpGet.h"
#include "net/ServerAddress.h"
#include "platform/QtPrompt.h"
#include "platform/SingleInstanceLock.h"

int main(int argc, char* argv[]) {
    InitHttpClient();
    QApplication application(argc, argv);
    QtPrompt prompt;
    CKestrelApp app(prompt, DefaultFileServer(), SingleInstanceLock::defaultPath());
    app.InitInstance();
    return 0;
}
