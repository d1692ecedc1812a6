// The window procedure driven in-process over a context that draws nothing:
// every key and window event a user can cause, and what it changes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/application.h"
#include "app/startup_options.h"
#include "null_context.h"
#include "render/demo_scene.h"
#include "scene/asset_loading.h"

using namespace vyr::test;
using namespace vyr::platform;

namespace {

class CountingContext : public NullContext {
public:
    void renderFrame(Project3D*, Texture**) override { ++frames; }
    void setSize(unsigned w, unsigned h) override { width = w, height = h, ++resizes; }
    int frames = 0, resizes = 0;
};

struct Row {
    const char* what;
    WindowEvent event;
    PauseState pauseBefore;
    // What follows: frames drawn, resizes, pause state, frame rate shown, muted, fullscreen, quit.
    int frames, resizes;
    PauseState pause;
    bool frameRate, muted, fullscreen, quit;
};

WindowEvent event(WindowEventType type, uint32_t key = 0, bool minimized = false) {
    WindowEvent e;
    e.type = type;
    e.key = key;
    e.minimized = minimized;
    e.width = 800, e.height = 500;
    return e;
}

TEST(WindowProcedure, EveryUserActionChangesWhatItShould) {
    setenv("VYR_ROOT", "/nonexistent/", 1);  // no soundtrack to start
    using T = WindowEventType;
    const Row rows[] = {
        {"Escape quits", event(T::KeyUp, KeyEscape), Running, 0, 0, Running, false, false, false, true},
        {"the close box quits", event(T::Close), Running, 0, 0, Running, false, false, false, true},
        {"Space pauses on release", event(T::KeyUp, KeySpace), Running, 0, 0, PauseRequested, false, false, false, false},
        {"Space resumes", event(T::KeyUp, KeySpace), Paused, 0, 0, Running, false, false, false, false},
        {"a pressed key does nothing yet", event(T::KeyDown, KeySpace), Running, 0, 0, Running, false, false, false, false},
        {"Alt+Space is Space", event(T::SystemKeyUp, KeySpace), Running, 0, 0, PauseRequested, false, false, false, false},
        {"Alt itself does nothing", event(T::SystemKeyUp, KeyMenu), Running, 0, 0, Running, false, false, false, false},
        {"F shows the frame rate", event(T::KeyUp, KeyF), Running, 0, 0, Running, true, false, false, false},
        {"M mutes", event(T::KeyUp, KeyM), Running, 0, 0, Running, false, true, false, false},
        {"F11 goes fullscreen", event(T::KeyUp, KeyF11), Running, 0, 0, Running, false, false, true, false},
        {"a new size is applied and drawn", event(T::Size), Running, 1, 1, Running, false, false, false, false},
        {"minimised: nothing", event(T::Size, 0, true), Running, 0, 0, Running, false, false, false, false},
        {"a click draws a frame, paused too", event(T::LeftButtonDown), Paused, 1, 0, Paused, false, false, false, false},
        {"paint while paused draws", event(T::Paint), Paused, 1, 0, Paused, false, false, false, false},
        {"paint while running leaves it to the loop", event(T::Paint), Running, 0, 0, Running, false, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CountingContext context;
        SceneContent content;
        ApplicationState& app = applicationState();
        app.context = &context;
        app.content = &content;
        StartupOptions& options = startupOptions();
        options.fullscreen = options.soundMuted = false;
        context.pauseState = row.pauseBefore;
        windowProcedure(nullptr, row.event);
        EXPECT_EQ(context.frames, row.frames);
        EXPECT_EQ(context.resizes, row.resizes);
        EXPECT_EQ(context.pauseState, row.pause);
        EXPECT_EQ(context.showFrameRate, row.frameRate);
        EXPECT_EQ(options.soundMuted, row.muted);
        EXPECT_EQ(options.fullscreen, row.fullscreen);
        int quitCode = -1;
        EXPECT_EQ(peekAndDispatch(quitCode) == MessageResult::Quit, row.quit);
        if (row.frameRate || row.muted || row.fullscreen) {  // a second press switches back
            windowProcedure(nullptr, row.event);
            EXPECT_FALSE(context.showFrameRate || options.soundMuted || options.fullscreen);
        }
        app.context = nullptr;
        app.content = nullptr;
    }
}

// Resuming moves the scene's start by the time spent paused.
TEST(WindowProcedure, ResumeContinuesTheAnimationWhereItStopped) {
    CountingContext context;
    SceneContent content;
    applicationState().context = &context;
    applicationState().content = &content;
    sceneClock();
    sceneStart = 5;
    pauseTime = sceneClock() - 100;  // paused 100 s ago
    context.pauseState = Paused;
    windowProcedure(nullptr, event(WindowEventType::KeyUp, KeySpace));
    EXPECT_NEAR(sceneStart, 105, 1);
    applicationState().context = nullptr;
    applicationState().content = nullptr;
}

}  // namespace
