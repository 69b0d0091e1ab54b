// long_work.cpp: reading files on a worker thread while the main thread keeps
// the editor answering: after a moment a progress window with Cancel, whose
// events this thread serves. Touches state.windows and state.longWorkers; the
// work itself never touches the state record.
#include <chrono>
#include <exception>

#include "app/app.h"

namespace {

constexpr int32_t messageId = 1;
constexpr int32_t cancelId = 2;
constexpr int32_t cancelMessage = 35;  // "Abbrechen", "Cancel", "Annuler"
constexpr int32_t windowWidth = 320;
constexpr int32_t windowHeight = 100;
constexpr int32_t barTop = 34;
constexpr int32_t barHeight = 10;
constexpr int32_t blockWidth = 60;
constexpr int32_t pollMs = 20;  // the longest the main thread waits between two looks at the work
constexpr int32_t blockStepMs = 10;  // the moving block goes a pixel per this

void openProgressWindow(AppState& state, std::string_view text)
{
    WindowLayer& w = *state.windows;
    WindowSpec spec;
    spec.style = WindowStyle::Tool;
    spec.placement = WindowPlacement::CentreOverActive;
    spec.width = windowWidth;
    spec.height = windowHeight;
    spec.title = textOf(state.prefs.language, Text::ReadingTitle);
    if (!w.openWindow(windowProgress, spec)) return;
    w.createStaticText(windowProgress, messageId, 10, 8, windowWidth - 20, 20, text);
    w.createButton(windowProgress, cancelId, windowWidth / 2 - 45, windowHeight - 35, 90, 25,
                   uiTextOf(state.uiText, state.prefs.language, cancelMessage));
    w.showWindow(windowProgress);
    w.activateWindow(windowProgress);
}

// A block running to and fro along a track: the editor is alive though the
// work cannot say how far it is.
void drawBusyBar(WindowLayer& w, int64_t elapsedMs)
{
    const int32_t track = windowWidth - 20;
    const int64_t span = 2 * (track - blockWidth);
    const int64_t step = (elapsedMs / blockStepMs) % span;
    const auto at = static_cast<int32_t>(step < span / 2 ? step : span - step);
    w.fillRect(windowProgress, 10, barTop, track, barHeight, 210, 210, 210);
    w.fillRect(windowProgress, 10 + at, barTop, blockWidth, barHeight, 61, 111, 182);
}

// The Cancel button, Escape or the close box.
bool cancels(const WindowEvent& e)
{
    if (e.window != windowProgress) return false;
    return e.kind == eventClose || (e.kind == eventKeyDown && e.param == vkEscape) ||
           (e.kind == eventControl && e.control == cancelId && e.notification == notifyClicked);
}

}  // namespace

LongWorkers::~LongWorkers()
{
    for (Worker& worker : cancelled)
        if (worker.thread.joinable()) worker.thread.join();
}

void LongWorkers::joinEnded()
{
    std::erase_if(cancelled, [](Worker& worker) {
        if (!worker.done->load(std::memory_order_acquire)) return false;
        worker.thread.join();
        return true;
    });
}

WorkEnd runLongWork(AppState& state, std::string_view text, std::function<void(const std::atomic<bool>& cancel)> work)
{
    using Clock = std::chrono::steady_clock;
    state.longWorkers.joinEnded();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto failure = std::make_shared<std::exception_ptr>();
    std::thread thread([work = std::move(work), cancel, done, failure] {
        try {
            work(*cancel);
        } catch (...) {
            *failure = std::current_exception();
        }
        done->store(true, std::memory_order_release);
    });

    WindowLayer& w = *state.windows;
    const Clock::time_point start = Clock::now();
    const auto elapsedMs = [&start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    bool shown = false;
    while (!done->load(std::memory_order_acquire)) {
        if (!shown && elapsedMs() >= progressDelayMs) {
            openProgressWindow(state, text);
            shown = w.isWindowOpen(windowProgress);
        }
        // Without the window (too early, or it could not be made) nothing can cancel.
        if (!shown) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        WindowEvent event;
        const bool fetched = w.fetchEvent(event);
        if ((fetched && cancels(event)) || !w.isWindowOpen(windowProgress)) {
            cancel->store(true);
            w.closeWindow(windowProgress);
            w.activateWindow(windowMain);
            state.longWorkers.cancelled.push_back({std::move(thread), done});
            return WorkEnd::Cancelled;
        }
        // Modal: a click elsewhere brings the window back to the front.
        if (fetched && event.window != windowProgress) w.activateWindow(windowProgress);
        drawBusyBar(w, elapsedMs());
        if (!fetched) w.waitForEvent(pollMs);
    }
    thread.join();
    if (shown) {
        w.closeWindow(windowProgress);
        w.activateWindow(windowMain);
    }
    if (*failure) std::rethrow_exception(*failure);
    return WorkEnd::Done;
}
