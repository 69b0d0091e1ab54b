// modal_loop.cpp: the event loops of the modal windows: Preferences (applied on
// closing), and Scale, Rotate and Position with their OK and Cancel buttons.
#include "app/window_layer.h"

bool runWindowUntilClosed(WindowLayer& layer, int32_t number, const std::function<bool(const WindowEvent&)>& onEvent)
{
    int32_t latestWindow = number;
    while (layer.isWindowOpen(number)) {
        WindowEvent event;
        const bool fetched = layer.fetchEvent(event);
        if (fetched) {
            if (event.window == number && event.kind == eventClose) return true;
            const bool own = event.window == number && (event.kind == eventKeyDown || event.kind == eventControl);
            if (own && onEvent && onEvent(event)) return true;
            latestWindow = event.window;
        }
        if (latestWindow != number) layer.activateWindow(number);
        if (!fetched) layer.waitForEvent(-1);
    }
    return false;
}

DialogEnd runDialogWindow(WindowLayer& layer, int32_t number, int32_t okId, int32_t cancelId,
                          const std::function<void(const WindowEvent&)>& onKey)
{
    int32_t latestWindow = number;
    while (layer.isWindowOpen(number)) {
        WindowEvent e;
        const bool fetched = layer.fetchEvent(e);
        if (fetched && e.window == number) {
            const bool clicked = e.kind == eventControl && e.notification == notifyClicked;
            const bool key = e.kind == eventKeyDown;
            if (e.kind == eventClose || (clicked && e.control == okId) || (key && e.param == vkReturn))
                return DialogEnd::Apply;
            if ((clicked && e.control == cancelId) || (key && e.param == vkEscape)) return DialogEnd::Cancel;
            if (key && onKey) onKey(e);
        }
        if (fetched) latestWindow = e.window;
        if (latestWindow != number && layer.isWindowOpen(number)) layer.activateWindow(number);
        if (!fetched) layer.waitForEvent(-1);
    }
    return DialogEnd::Gone;
}
