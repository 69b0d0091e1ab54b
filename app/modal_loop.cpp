// modal_loop.cpp: the event loop shared by the Scale, Rotate and Preferences windows.
#include "app/window_layer.h"

bool runWindowUntilClosed(WindowLayer& layer, int32_t number, const std::function<void(const WindowEvent&)>& onKey)
{
    int32_t latestWindow = number;
    while (layer.isWindowOpen(number)) {
        WindowEvent event;
        if (layer.fetchEvent(event)) {
            if (event.window == number && event.kind == eventClose) return true;
            if (event.window == number && event.kind == eventKeyDown && onKey) onKey(event);
            latestWindow = event.window;
        }
        if (latestWindow != number) layer.activateWindow(number);
        layer.sleepMs(10);
    }
    return false;
}
