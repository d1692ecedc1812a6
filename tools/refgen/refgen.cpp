// vyr-refgen <file.png> [samples]: draws the picture check's frame with the
// OpenGL back-end on $DISPLAY, as the program does at 4 samples, and writes it.
// The program carries the result (assets/reference/check_frame.png) as the
// picture its own frames are compared with.
#include <cstdio>
#include <cstdlib>

#include "platform/native_window.h"
#include "platform/png_file.h"
#include "render/check_frame.h"
#include "render/opengl/opengl_context.h"
#include "scene/asset_loading.h"

using namespace vyr::test;

namespace {

vyr::platform::EventDisposition ignoreEvents(NativeWindow*, const vyr::platform::WindowEvent&) {
    return vyr::platform::EventDisposition::DefaultHandling;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fputs("usage: vyr-refgen <file.png> [samples]\n", stderr);
        return 2;
    }
    uint32_t samples = argc == 3 ? uint32_t(strtoul(argv[2], nullptr, 10)) : 4;
    if (!vyr::platform::registerMainWindowClass("VYRREFGEN", ignoreEvents)) return 1;
    NativeWindow* window = vyr::platform::createMainWindow("VYRREFGEN", "vyr-refgen", 640, 400);
    if (!window) {
        fputs("vyr-refgen: no window (is DISPLAY set?)\n", stderr);
        return 1;
    }
    OpenGLContext context;
    DrawableContext* drawable = context.createDrawable(window, samples != 0, samples, false, true);
    if (!drawable || !context.createContext(drawable)) {
        fputs("vyr-refgen: no OpenGL context\n", stderr);
        return 1;
    }
    context.setSize(640, 400);
    SceneContent& content = sceneContent();
    loadAssets(content, nullptr);
    reuploadAssets(content, &context);
    context.setupRenderState();
    vyr::platform::showWindow(window, 1);

    FrameImage frame;
    int status = 0;
    if (!drawCheckFrame(context, content.project, content.overlays, frame)) {
        fputs("vyr-refgen: the frame could not be read back\n", stderr);
        status = 1;
    } else if (!vyr::platform::writePngFile(argv[1], frame)) {
        fprintf(stderr, "vyr-refgen: cannot write \"%s\"\n", argv[1]);
        status = 1;
    }
    releaseAssets(content);
    return status;
}
