// The shell: start-up, the frame loop, the window procedure and shutdown.
#pragma once

#include <functional>

#include "app/results_file.h"
#include "app/startup_options.h"
#include "platform/native_window.h"

namespace vyr::test {

class RenderingContext;
class DrawableContext;
struct SceneContent;

struct ApplicationState {
    NativeWindow* window = nullptr;
    RenderingContext* context = nullptr;   // owned
    DrawableContext* drawable = nullptr;   // owned, destroyed after the context
    SceneContent* content = nullptr;
    char className[100] = {};
    char title[100] = {};
    // Size events that arrive before the context exists (fullscreen at start-up).
    bool earlySizeSeen = false;
    unsigned earlyWidth = 0, earlyHeight = 0;
    RunEnd end;  // why the run ends, for the results file
};

ApplicationState& applicationState();

// Supplies the argument vector: argv on Linux, splitCommandLine on Windows.
using ArgumentSource = std::function<char**(int& count)>;
// Runs the program; returns the process exit code.
int runApplication(const ArgumentSource& arguments, int showState);

// The one back-end choice of start-up; null when the platform has no such back-end.
RenderingContext* createRenderingContext(Backend backend);

platform::EventDisposition windowProcedure(NativeWindow* window, const platform::WindowEvent& event);
void applyWindowMode();
// Lets a lost Direct3D device recover, then hands the content over again.
void deviceCheck();
void drawFrame();
int runFrameLoop();
// The first reason to end wins: Escape, the close box, -duration or a stop request.
void endRun(EndReason reason);

}  // namespace vyr::test
