// main.cpp: the polyquill executable: Qt, the window layer, the state record,
// then start-up, the main loop and the end the loop chose.
#include <QApplication>

#include "app/app.h"
#include "app/qt/qt_window_layer.h"

int main(int argc, char** argv)
{
    holdTerminationSignals();  // before any thread is started
    QApplication application(argc, argv);
    // Desktops find the editor's entry, and with it its icon, by this name.
    QGuiApplication::setDesktopFileName("polyquill");
    QtWindowLayer windows;
    AppState state;
    state.windows = &windows;

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);

    startUp(state, executableDirectory(), arguments);
    runMainLoop(state);
    endRecovery(state);
    if (state.quitRequested)
        releaseWindows(state);
    else
        shutDown(state);
    return 0;
}
