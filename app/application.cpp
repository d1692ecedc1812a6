#include "app/application.h"

#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "app/soundtrack.h"
#include "app/startup_options.h"
#include "platform/console.h"
#include "platform/network.h"
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

int failStartup(const char* message) {
    if (message) platform::showFatalMessage(message);
    platform::stopNetwork();
    return fatalExitCode;
}

const char* contextFailureMessage(Backend backend) {
    return backend == Backend::OpenGL
               ? "Cannot create the OpenGL Context. Please check your installation of OpenGL"
               : "Cannot create the DirectX9 Device. Please check your installation of DirectX9";
}

}  // namespace

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
    if (interpretOptions(count, vector, options) == OptionsOutcome::HelpShown) return 0;

    platform::loadString(103, app.title, sizeof app.title);
    const char* suffix = options.backend == Backend::OpenGL ? " (OpenGL)" : " (DirectX9)";
    strncat(app.title, suffix, sizeof app.title - strlen(app.title) - 1);
    platform::loadString(101, app.className, sizeof app.className);

    platform::registerMainWindowClass(app.className, windowProcedure);

    switch (platform::startNetwork()) {
    case platform::NetworkStartup::Ok:
        break;
    case platform::NetworkStartup::WrongVersion:
        platform::stopNetwork();
        fputs(networkFailure, stderr);
        return networkExitCode;
    case platform::NetworkStartup::Failed:
        fputs(networkFailure, stderr);
        return networkExitCode;
    }

    app.window = platform::createMainWindow(app.className, app.title, clientWidth, clientHeight);
    if (!app.window) return failStartup(nullptr);
    applyWindowMode();

    app.context = createRenderingContext(options.backend == Backend::Direct3D9);
    if (app.context) {
        app.drawable = app.context->createDrawable(app.window, options.multisampleCount != 0,
                                                   options.multisampleCount, options.stereo,
                                                   !options.benchmark);
    }
    if (!app.context || !app.context->createContext(app.drawable))
        return failStartup(contextFailureMessage(options.backend));

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

    int exitCode = runFrameLoop();

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
