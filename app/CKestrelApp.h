#pragma once

#include <string>

#include <QString>

#include "platform/Desktop.h"

class Clock;
class Prompt;
class ReportSender;

// The application object: one running copy, then the main window as a modal dialog.
class CKestrelApp {
public:
    CKestrelApp(Prompt& prompt, Clock& clock, ReportSender& sender, QString fileServer,
                std::string lockPath, Desktop& desktop = SilentDesktop::Instance());

    // Runs the whole program; always false, so nothing runs after it (as a framework's
    // InitInstance that ends the process without a message loop of its own).
    bool InitInstance();

private:
    Prompt& prompt_;
    Clock& clock_;
    ReportSender& sender_;
    QString fileServer_;
    std::string lockPath_;
    Desktop& desktop_;
};
