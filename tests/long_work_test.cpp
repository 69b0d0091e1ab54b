// Long work on a worker thread: the progress window, its Cancel, and what the
// main thread gets back, against the scripted window layer.
#include <gtest/gtest.h>

#include <chrono>
#include <new>

#include "app/app.h"
#include "tests/fake_window_layer.h"

TEST(LongWork, AfterHalfASecondTheWindowServesItsEventsAndCancelReturnsAtOnce)
{
    FakeWindowLayer fake;
    AppState state;
    fake.attach(state), state.prefs.language = 1;
    EXPECT_EQ(runLongWork(state, "", [](const std::atomic<bool>&) {}), WorkEnd::Done);
    EXPECT_THROW(runLongWork(state, "", [](const std::atomic<bool>&) { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_TRUE(fake.drawing.empty()) << "quick work shows no window";

    std::vector<std::string> seen;
    fake.onIdle = [&seen](FakeWindowLayer& f) {
        if (!f.isWindowOpen(windowProgress) || !f.events.empty()) return;
        auto& w = f.windows[windowProgress];
        const std::string active = std::to_string(f.active);
        seen.push_back(w.spec.title + "|" + w.gadgets[1].text + "|" + w.gadgets[2].text + "|" + active);
        const WindowEvent next[] = {{eventLeftDown, windowFront, mkLButton}, {eventKeyDown, windowProgress, 'A'},
                                    {eventControl, windowProgress, 0, 2, notifyClicked}};
        f.events.push_back(next[seen.size() - 1]);
    };
    auto ended = std::make_shared<std::atomic<bool>>(false);
    const auto start = std::chrono::steady_clock::now();
    const auto work = [ended](const std::atomic<bool>& cancel) {
        while (!cancel) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        *ended = true;
    };
    EXPECT_EQ(runLongWork(state, "Reading ship.obj...", work), WorkEnd::Cancelled);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(progressDelayMs));
    // A click elsewhere brings the window back; typing changes nothing; Cancel ends it.
    EXPECT_EQ(seen, std::vector<std::string>(3, "Reading|Reading ship.obj...|Cancel|16"));
    EXPECT_EQ(std::pair(fake.isWindowOpen(windowProgress), fake.active), std::pair(false, windowMain));
    ASSERT_EQ(state.longWorkers.cancelled.size(), 1u);
    while (!*ended || !state.longWorkers.cancelled.empty()) state.longWorkers.joinEnded();

    fake.onIdle = [](FakeWindowLayer& f) { if (f.events.empty()) f.push(eventKeyDown, windowProgress, vkEscape); };
    EXPECT_EQ(runLongWork(state, "", work), WorkEnd::Cancelled);
}
