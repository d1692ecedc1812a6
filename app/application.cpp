#include "app/application.h"

#include <cstdio>
#include <cstring>

#include "app/all_backends.h"
#include "app/command_line.h"
#include "app/picture_check.h"
#include "app/results_file.h"
#include "app/screen_watcher.h"
#include "app/soundtrack.h"
#include "app/startup_options.h"
#include "platform/console.h"
#include "platform/network.h"
#include "platform/signals.h"
#include "platform/window_system.h"
#include "render/demo_scene.h"
#include "render/rendering_context.h"
#include "scene/asset_loading.h"

namespace vyr::test {

namespace {

constexpr int clientWidth = 640;
constexpr int clientHeight = 400;
constexpr const char* networkFailure = "Cannot initialize WinSock DLL -- exiting";

// Fatal start-up failures end with 1: a failure must not look like success.
constexpr int fatalExitCode = 1;
constexpr int networkExitCode = 20;
// The run went well but its picture is wrong.
constexpr int pictureExitCode = 3;
// The run went well, no check failed, but the screen could not be looked at.
constexpr int unseenExitCode = 5;

// The results file, when asked for, with what the run learned up to here.
int finishRun(int exitCode) {
    ApplicationState& app = applicationState();
    const StartupOptions& options = startupOptions();
    app.end.exitCode = exitCode;
    writeResultsFiles(options, app.context, app.end, pausedSeconds());
    return exitCode;
}

// A failure with a message shows it; the window's failure has none to show,
// and the results file alone says what happened.
int failStartup(const char* message) {
    ApplicationState& app = applicationState();
    app.end.reason = EndReason::Fatal;
    if (message) platform::showFatalMessage(message);
    app.end.message = message ? message : "The main window could not be created.";
    platform::stopNetwork();
    return finishRun(fatalExitCode);
}

const char* contextFailureMessage(Backend backend) {
    switch (backend) {
    case Backend::Direct3D9:
        return "Cannot create the DirectX9 Device. Please check your installation of DirectX9";
    case Backend::Vulkan:
        return "Cannot create the Vulkan Device. Please check your installation of Vulkan";
    case Backend::OpenGL:
        break;
    }
    return "Cannot create the OpenGL Context. Please check your installation of OpenGL";
}

const char* titleSuffix(Backend backend) {
    switch (backend) {
    case Backend::Direct3D9: return " (DirectX9)";
    case Backend::Vulkan: return " (Vulkan)";
    case Backend::OpenGL: break;
    }
    return " (OpenGL)";
}

}  // namespace

void endRun(EndReason reason) {
    ApplicationState& app = applicationState();
    if (app.end.reason == EndReason::Running) app.end.reason = reason;
}

ApplicationState& applicationState() {
    static ApplicationState state;
    return state;
}

int runApplication(const ArgumentSource& arguments, int showState) {
    ApplicationState& app = applicationState();
    StartupOptions& options = startupOptions();

    platform::attachConsole();
    printBanner();

    int count = 0;
    char** vector = arguments(count);
    switch (interpretOptions(count, vector, options)) {
    case OptionsOutcome::HelpShown:
        return 0;
    case OptionsOutcome::Invalid:
        return fatalExitCode;
    case OptionsOutcome::Run:
        break;
    }
    // The scene clock's first reading, at the first frame, is 0: that frame
    // shows -scenetime (a window system may ask for a frame while the window opens).
    if (options.sceneTimeSeconds >= 0.0) sceneStart = -options.sceneTimeSeconds;
    std::string why;
    for (const char* path : options.reportPaths)
        if (!resultsFileWritable(path, why)) {
            fprintf(stderr, "vyrtest: cannot write the results file \"%s\": %s\n", path, why.c_str());
            return fatalExitCode;
        }
    // From here on SIGINT, SIGTERM, SIGHUP (console events on Windows) end the
    // run through the shutdown below and still write the results file.
    platform::catchStopRequests();
    if (options.allBackends) return runAllBackends(count, vector, options);

    platform::loadString(103, app.title, sizeof app.title);
    const char* suffix = titleSuffix(options.backend);
    strncat(app.title, suffix, sizeof app.title - strlen(app.title) - 1);
    platform::loadString(101, app.className, sizeof app.className);

    platform::chooseWindowSystem(options.wayland);
    platform::registerMainWindowClass(app.className, windowProcedure);

    switch (platform::startNetwork()) {
    case platform::NetworkStartup::Ok:
        break;
    case platform::NetworkStartup::WrongVersion:
        platform::stopNetwork();
        fputs(networkFailure, stderr);
        app.end = {EndReason::Fatal, 0, networkFailure};
        return finishRun(networkExitCode);
    case platform::NetworkStartup::Failed:
        fputs(networkFailure, stderr);
        app.end = {EndReason::Fatal, 0, networkFailure};
        return finishRun(networkExitCode);
    }

    app.window = platform::createMainWindow(app.className, app.title, clientWidth, clientHeight);
    if (!app.window) return failStartup(nullptr);
    applyWindowMode();

    app.context = createRenderingContext(options.backend);
    if (app.context) {
        app.drawable = app.context->createDrawable(app.window, options.multisampleCount != 0,
                                                   options.multisampleCount, options.stereo,
                                                   !options.benchmark);
    }
    if (!app.context || !app.context->createContext(app.drawable))
        return failStartup(contextFailureMessage(options.backend));

    app.context->desktop = platform::desktopFacts(app.window);

    // A version string that reads as no number gives 0.0, which is too old.
    if (options.backend == Backend::OpenGL && app.context->getVersion() < 1.5)
        return failStartup("The current OpenGL version is too old to run the application.");

    // The context must know the client size before the first frame.
    if (app.earlySizeSeen)
        app.context->setSize(app.earlyWidth, app.earlyHeight);
    else
        app.context->setSize(clientWidth, clientHeight);

    app.context->printCapabilities();
    fflush(stdout);
    printDriverNotices(options, *app.context);

    app.context->frameLimit = options.frameLimit;
    app.context->pauseState = options.startPaused ? PauseRequested : Running;
    app.context->reportInterval = 5;
    app.context->benchmark = options.benchmark;

    app.content = &sceneContent();
    loadAssets(*app.content, nullptr);
    reuploadAssets(*app.content, app.context);
    setSoundtrack(true);
    app.context->setupRenderState();
    platform::showWindow(app.window, showState);

    int exitCode = 0;
    {
        // Watched from the window's first showing to the end of the frames.
        ScreenWatcher screenWatcher(app.window, *app.context);
        exitCode = runFrameLoop();
    }
    if (options.screenshotPath) writeScreenshot(options.screenshotPath);
    if (exitCode == 0 && pictureCheck().failed()) exitCode = pictureExitCode;
    if (exitCode == 0 && pictureCheck().inconclusive()) exitCode = unseenExitCode;
    exitCode = finishRun(exitCode);

    platform::stopNetwork();
    releaseAssets(*app.content);
    delete app.context;
    app.context = nullptr;
    delete app.drawable;
    app.drawable = nullptr;
    platform::unregisterMainWindowClass(app.className);
    fflush(stdout);
    return exitCode;
}

}  // namespace vyr::test
