#include "app/TimerTable.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QTest>
#include <QTimerEvent>

TEST(TimerTable, StartStopAndRestartById) {
    QObject owner;
    TimerTable timers(&owner);
    EXPECT_FALSE(timers.isRunning(109));
    EXPECT_FALSE(timers.period(109).has_value());

    timers.start(109, 300);
    timers.start(115, 900000);
    EXPECT_TRUE(timers.isRunning(109));
    EXPECT_EQ(timers.period(115), 900000);
    EXPECT_EQ(timers.running(), (std::vector<std::pair<int, int>>{{109, 300}, {115, 900000}}));

    // Restarting a running id keeps one timer under that id, with the new period.
    timers.start(115, 1000);
    EXPECT_EQ(timers.running(), (std::vector<std::pair<int, int>>{{109, 300}, {115, 1000}}));
    timers.start(110, 5);
    timers.start(109, 300);
    EXPECT_EQ(timers.startOrder(), (std::vector<int>{115, 110, 109}));
    timers.stop(110);

    timers.stop(115);
    EXPECT_FALSE(timers.isRunning(115));
    timers.stop(116); // stopping an id that never ran is harmless
    EXPECT_EQ(timers.running(), (std::vector<std::pair<int, int>>{{109, 300}}));

    // A stopped id can be started again.
    timers.start(115, 900000);
    EXPECT_EQ(timers.period(115), 900000);
    timers.stopAll();
    EXPECT_TRUE(timers.running().empty());
}

namespace {
// Records which of our ids each tick belongs to.
class TickRecorder : public QObject {
public:
    TimerTable timers{this};
    std::vector<int> ticks;

protected:
    void timerEvent(QTimerEvent* event) override {
        if (auto id = timers.idOf(event->timerId())) {
            ticks.push_back(*id);
            timers.stop(*id);
        }
    }
};
} // namespace

TEST(TimerTable, TicksMapBackToOurIds) {
    TickRecorder owner;
    owner.timers.start(111, 1);
    owner.timers.start(112, 60000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !owner.ticks.empty(); }, 5000));
    EXPECT_EQ(owner.ticks, std::vector<int>{111});
    EXPECT_FALSE(owner.timers.idOf(-1).has_value());
}
