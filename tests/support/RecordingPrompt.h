#pragma once

#include <deque>
#include <vector>

#include <QString>

#include "platform/Prompt.h"

// Answers from a script and records everything asked, in order. An unscripted message box is
// answered No (or Ok), an unscripted folder choice is cancelled, and nothing is ever launched.
class RecordingPrompt final : public Prompt {
public:
    enum class Kind { Message, Folder, Open };
    struct Entry {
        Kind kind;
        QString text;
        Buttons buttons = Buttons::Ok;
    };

    std::deque<Answer> answers;
    std::deque<QString> folders;
    bool openSucceeds = true;
    std::vector<Entry> entries;

    Answer messageBox(QWidget*, const QString& text, Buttons buttons) override {
        entries.push_back({Kind::Message, text, buttons});
        if (buttons == Buttons::Ok) {
            return Answer::Ok;
        }
        if (answers.empty()) {
            return Answer::No;
        }
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    QString chooseFolder(QWidget*, const QString& title) override {
        entries.push_back({Kind::Folder, title});
        if (folders.empty()) {
            return {};
        }
        QString f = folders.front();
        folders.pop_front();
        return f;
    }

    bool openExternal(const QString& target) override {
        entries.push_back({Kind::Open, target});
        return openSucceeds;
    }

    std::vector<QString> texts(Kind kind) const {
        std::vector<QString> out;
        for (const auto& e : entries) {
            if (e.kind == kind) {
                out.push_back(e.text);
            }
        }
        return out;
    }
};
