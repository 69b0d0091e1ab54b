// modal_loop.cpp: the event loop shared by the Scale, Rotate and Preferences windows.
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
