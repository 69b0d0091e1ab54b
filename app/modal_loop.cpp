// modal_loop.cpp: the event loops of modal windows: closed by their close box
// (Scale, Rotate, Preferences), or answered with OK or Cancel (the Mesh menu's).
#include "app/window_layer.h"

bool runWindowUntilClosed(WindowLayer& layer, int32_t number, const std::function<void(const WindowEvent&)>& onKey)
{
    int32_t latestWindow = number;
    while (layer.isWindowOpen(number)) {
        WindowEvent event;
        const bool fetched = layer.fetchEvent(event);
        if (fetched) {
            if (event.window == number && event.kind == eventClose) return true;
            if (event.window == number && event.kind == eventKeyDown && onKey) onKey(event);
            latestWindow = event.window;
        }
        if (latestWindow != number) layer.activateWindow(number);
        if (!fetched) layer.waitForEvent(-1);
    }
    return false;
}

bool runWindowUntilAnswered(WindowLayer& layer, int32_t number, int32_t okButton, int32_t cancelButton)
{
    int32_t latestWindow = number;
    while (layer.isWindowOpen(number)) {
        WindowEvent event;
        const bool fetched = layer.fetchEvent(event);
        if (fetched && event.window == number) {
            if (event.kind == eventClose) return false;
            if (event.kind == eventKeyDown && event.param == vkReturn) return true;
            if (event.kind == eventKeyDown && event.param == vkEscape) return false;
            if (event.kind == eventControl && event.notification == notifyClicked) {
                if (event.control == okButton) return true;
                if (event.control == cancelButton) return false;
            }
        }
        if (fetched) latestWindow = event.window;
        if (latestWindow != number) layer.activateWindow(number);
        if (!fetched) layer.waitForEvent(-1);
    }
    return false;
}
