// Long work on a worker thread: the progress window, its Cancel, and what the
// main thread gets back, against the scripted window layer.
#include <gtest/gtest.h>

#include <chrono>
#include <new>

#include "app/app.h"
#include "tests/fake_window_layer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct LongWork : ::testing::Test {
    FakeWindowLayer fake;
    AppState state;
    void SetUp() override { fake.attach(state), state.prefs.language = 1; }
};

// Work that ends only when cancelled, noting that it has.
auto untilCancelled(std::shared_ptr<std::atomic<bool>> ended)
{
    return [ended](const std::atomic<bool>& cancel) {
        while (!cancel) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        *ended = true;
    };
}

}  // namespace

TEST_F(LongWork, QuickWorkShowsNoWindowAndItsExceptionComesOutHere)
{
    int32_t ran = 0;
    fake.onIdle = [](FakeWindowLayer&) { ADD_FAILURE() << "no window, so no events are served"; };
    EXPECT_EQ(runLongWork(state, "quick", [&ran](const std::atomic<bool>&) { ++ran; }), WorkEnd::Done);
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(runLongWork(state, "", [](const std::atomic<bool>&) { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_TRUE(fake.drawing.empty());
}

TEST_F(LongWork, AfterHalfASecondTheWindowServesItsEventsAndCancelReturnsAtOnce)
{
    std::vector<std::string> seen;
    fake.onIdle = [&seen](FakeWindowLayer& f) {
        if (!f.isWindowOpen(windowProgress) || !f.events.empty()) return;
        auto& w = f.windows[windowProgress];
        seen.push_back(w.spec.title + "|" + w.gadgets[1].text + "|" + w.gadgets[2].text + "|" +
                       std::to_string(f.active));
        if (seen.size() == 1)
            f.push(eventLeftDown, windowFront, mkLButton);  // modal: the window comes back to the front
        else
            f.pushControl(windowProgress, 2, notifyClicked);
    };
    const auto ended = std::make_shared<std::atomic<bool>>(false);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(runLongWork(state, "Reading ship.obj...", untilCancelled(ended)), WorkEnd::Cancelled);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(progressDelayMs));
    EXPECT_EQ(seen, std::vector<std::string>(2, "Reading|Reading ship.obj...|Cancel|16"));
    EXPECT_EQ(std::pair(fake.isWindowOpen(windowProgress), fake.active), std::pair(false, windowMain));
    // The track, then the moving block in its blue.
    EXPECT_EQ(fake.drawing.at(0).kind + " " + std::to_string(fake.drawing.at(1).value), "rect 4026294");
    // The work runs on by itself and is joined once it has ended.
    ASSERT_EQ(state.longWorkers.cancelled.size(), 1u);
    while (!*ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    while (!state.longWorkers.cancelled.empty()) state.longWorkers.joinEnded();

    for (const WindowEvent& cancel : {WindowEvent{eventKeyDown, windowProgress, vkEscape},
                                      WindowEvent{eventClose, windowProgress}}) {
        fake.onIdle = [cancel](FakeWindowLayer& f) {
            if (f.isWindowOpen(windowProgress) && f.events.empty()) f.events.push_back(cancel);
        };
        const auto work = untilCancelled(std::make_shared<std::atomic<bool>>(false));
        EXPECT_EQ(runLongWork(state, "", work), WorkEnd::Cancelled);
    }
}

TEST_F(LongWork, WorkEndingWhileTheWindowIsUpClosesItAndIsDone)
{
    const auto release = std::make_shared<std::atomic<bool>>(false);
    fake.onIdle = [release](FakeWindowLayer& f) {
        if (f.isWindowOpen(windowProgress)) *release = true;
        f.push(eventKeyDown, windowProgress, 'A');  // typing changes nothing
    };
    const auto work = [release](const std::atomic<bool>&) {
        while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    EXPECT_EQ(runLongWork(state, "", work), WorkEnd::Done);
    EXPECT_EQ(std::pair(fake.isWindowOpen(windowProgress), fake.active), std::pair(false, windowMain));
    EXPECT_TRUE(state.longWorkers.cancelled.empty());
}
