#pragma once

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <QBasicTimer>

class QObject;

// The main window's timers, by the program's own ids. Ticks arrive as timer events of the
// owner; idOf() maps Qt's timer id back to ours. Starting a running id restarts its period.
class TimerTable {
public:
    explicit TimerTable(QObject* owner) : owner_(owner) {}

    void start(int id, int periodMs);
    void stop(int id);
    void stopAll();
    bool isRunning(int id) const;
    // The period of a running id; nothing when it does not run.
    std::optional<int> period(int id) const;
    // Every running id with its period, by id.
    std::vector<std::pair<int, int>> running() const;
    // Every running id, in the order of its latest start.
    std::vector<int> startOrder() const;
    std::optional<int> idOf(int qtTimerId) const;

private:
    struct Entry {
        QBasicTimer timer;
        int periodMs = 0;
        unsigned startedAs = 0;
    };
    unsigned starts_ = 0;
    QObject* owner_;
    std::map<int, Entry> entries_;
};
