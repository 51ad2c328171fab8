#include "app/TimerTable.h"

#include <algorithm>

void TimerTable::start(int id, int periodMs) {
    Entry& entry = entries_[id];
    entry.periodMs = periodMs;
    entry.startedAs = ++starts_;
    entry.timer.start(periodMs, owner_); // restarts a running timer
}

void TimerTable::stop(int id) {
    auto it = entries_.find(id);
    if (it != entries_.end()) {
        it->second.timer.stop();
    }
}

void TimerTable::stopAll() {
    for (auto& [id, entry] : entries_) {
        entry.timer.stop();
    }
}

bool TimerTable::isRunning(int id) const {
    auto it = entries_.find(id);
    return it != entries_.end() && it->second.timer.isActive();
}

std::optional<int> TimerTable::period(int id) const {
    if (!isRunning(id)) {
        return std::nullopt;
    }
    return entries_.at(id).periodMs;
}

std::vector<std::pair<int, int>> TimerTable::running() const {
    std::vector<std::pair<int, int>> out;
    for (const auto& [id, entry] : entries_) {
        if (entry.timer.isActive()) {
            out.emplace_back(id, entry.periodMs);
        }
    }
    return out;
}

std::vector<int> TimerTable::startOrder() const {
    std::vector<std::pair<unsigned, int>> started;
    for (const auto& [id, entry] : entries_) {
        if (entry.timer.isActive()) {
            started.emplace_back(entry.startedAs, id);
        }
    }
    std::sort(started.begin(), started.end());
    std::vector<int> out;
    for (const auto& [order, id] : started) {
        out.push_back(id);
    }
    return out;
}

std::optional<int> TimerTable::idOf(int qtTimerId) const {
    for (const auto& [id, entry] : entries_) {
        if (entry.timer.isActive() && entry.timer.timerId() == qtTimerId) {
            return id;
        }
    }
    return std::nullopt;
}
