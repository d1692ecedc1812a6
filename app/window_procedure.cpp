// The main window's message and key tables, written once over the neutral
// events that each platform's window layer produces.
#include <cstdint>

#include "app/application.h"
#include "app/soundtrack.h"
#include "app/startup_options.h"
#include "platform/clock.h"
#include "render/demo_scene.h"
#include "render/opengl/opengl_drawable.h"
#include "render/rendering_context.h"
#include "scene/asset_loading.h"

namespace vyr::test {

using platform::EventDisposition;
using platform::WindowEvent;
using platform::WindowEventType;

namespace {

OpenGLDrawable* openGLDrawable() { return dynamic_cast<OpenGLDrawable*>(applicationState().drawable); }

void togglePause() {
    RenderingContext* context = applicationState().context;
    OpenGLDrawable* drawable = openGLDrawable();
    if (context->pauseState == Running) {
        context->pauseState = PauseRequested;
        if (drawable) drawable->gdiMode = startupOptions().gdiCursor;
        setSoundtrack(false);
    } else {
        context->pauseState = Running;
        if (drawable) drawable->gdiMode = false;
        resumeSceneClock();
        setSoundtrack(true);
    }
}

void keyAction(uint32_t key) {
    ApplicationState& app = applicationState();
    StartupOptions& options = startupOptions();
    switch (key) {
    case platform::KeyEscape:
        endRun(EndReason::Escape);
        platform::postQuit();
        break;
    case platform::KeySpace:
        togglePause();
        break;
    case platform::KeyF11:
        options.fullscreen = !options.fullscreen;
        applyWindowMode();
        break;
    case platform::KeyF:
        app.context->showFrameRate = !app.context->showFrameRate;
        break;
    case platform::KeyM:
        options.soundMuted = !options.soundMuted;
        setSoundtrack(app.context->pauseState == Running);
        break;
    default:
        break;
    }
}

void mouseMoved(const WindowEvent& event) {
    if (OpenGLDrawable* drawable = openGLDrawable()) drawable->moveCursor(event.x, event.y);
}

}  // namespace

void applyWindowMode() { platform::setFullscreen(applicationState().window, startupOptions().fullscreen); }

EventDisposition windowProcedure(NativeWindow* window, const WindowEvent& event) {
    ApplicationState& app = applicationState();
    // Start-up applies the window mode before the context exists; such early
    // events must not reach it, but their size is applied once it does.
    bool ready = app.context && app.content;

    switch (event.type) {
    case WindowEventType::Close:
    case WindowEventType::Destroy:
        endRun(EndReason::Close);
        platform::postQuit();
        return EventDisposition::Handled;
    case WindowEventType::Move:
        return EventDisposition::DefaultHandling;
    case WindowEventType::Size:
        if (event.minimized) return EventDisposition::Handled;
        if (!ready) {
            app.earlySizeSeen = true;
            app.earlyWidth = event.width;
            app.earlyHeight = event.height;
            if (app.context) app.context->setSize(event.width, event.height);
            return EventDisposition::Handled;
        }
        app.context->setSize(event.width, event.height);
        deviceCheck();
        drawFrame();
        return EventDisposition::Handled;
    case WindowEventType::Paint:
        if (ready && app.context->pauseState == Paused) {
            deviceCheck();
            drawFrame();
        }
        return EventDisposition::DefaultHandling;
    case WindowEventType::KeyUp:
        if (ready) keyAction(event.key);
        return EventDisposition::Handled;
    case WindowEventType::SystemKeyDown:
    case WindowEventType::SystemKeyUp:
        // Never passed on: the platform's own Alt shortcuts do nothing here.
        if (ready && event.key != platform::KeyMenu) keyAction(event.key);
        return EventDisposition::Handled;
    case WindowEventType::MouseMove:
        mouseMoved(event);
        return EventDisposition::DefaultHandling;
    case WindowEventType::LeftButtonDown:
        if (ready) {
            drawFrame();
            platform::sleepMs(100);
        }
        mouseMoved(event);
        return EventDisposition::DefaultHandling;
    case WindowEventType::KeyDown:
    case WindowEventType::Other:
        break;
    }
    return EventDisposition::DefaultHandling;
}

}  // namespace vyr::test
