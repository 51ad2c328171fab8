// The session's end when the library cannot finish its work (a disk that stopped answering):
// the engine gives up waiting at its limit, and the session ends on its own once it can.
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include <libtorrent/extensions.hpp>
#include <libtorrent/session.hpp>

#include "engine/DownloadEngine.h"
#include "engine/EngineInternals.h"
#include "support/WaitFor.h"

namespace lt = libtorrent;

namespace {

// Holds the library's network thread at the session's end, as a hung disk job holds it, until
// the test opens the gate.
struct HangAtEnd final : lt::plugin {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<bool> ended{false};

    void abort() override {
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
        ended = true;
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
};

} // namespace

TEST(EngineEnd, AHungEndHoldsTheEngineOnlyToItsLimitAndTheSessionEndsOnItsOwnLater) {
    auto engine = std::make_shared<std::unique_ptr<DownloadEngine>>(
        std::make_unique<DownloadEngine>(12, QStringLiteral("VrtTorrent")));
    const auto hang = std::make_shared<HangAtEnd>();
    EngineInternals::Of(**engine).session->add_extension(hang);
    ASSERT_TRUE(DownloadEngine::AllSessionsEnded());

    // The engine ends on a thread of the test's, which stops waiting if it never returns.
    auto returned = std::make_shared<std::promise<void>>();
    std::future<void> gone = returned->get_future();
    std::thread([engine, returned] {
        engine->reset();
        returned->set_value();
    }).detach();
    EXPECT_EQ(gone.wait_for(DownloadEngine::kSessionEndLimit * 4), std::future_status::ready)
        << "the engine waited for the session's end without limit";
    EXPECT_FALSE(DownloadEngine::AllSessionsEnded());
    EXPECT_FALSE(hang->ended);

    hang->release();
    EXPECT_TRUE(waitFor([&] { return hang->ended && DownloadEngine::AllSessionsEnded(); }));
    gone.wait();
}
