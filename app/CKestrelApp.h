#pragma once

#include <string>

#include <QString>

class Prompt;

// The application object: one running copy, then the main window as a modal dialog.
class CKestrelApp {
public:
    CKestrelApp(Prompt& prompt, QString fileServer, std::string lockPath);

    // Runs the whole program; always false, so nothing runs after it (as a framework's
    // InitInstance that ends the process without a message loop of its own).
    bool InitInstance();

private:
    Prompt& prompt_;
    QString fileServer_;
    std::string lockPath_;
};
