// OpenGLContext: drawable and context set-up and the capability report.
#include "render/opengl/opengl_context.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/opengl/gl_api.h"
#include "render/opengl/gl_window_binding.h"
#include "render/opengl/opengl_drawable.h"
#include "render/opengl/opengl_resources.h"

namespace vyr::test {

RenderingContext* createOpenGLContext() { return new OpenGLContext(); }

OpenGLDrawable* OpenGLContext::drawable() const { return dynamic_cast<OpenGLDrawable*>(currentDrawable); }

OpenGLContext::~OpenGLContext() {
    makeCurrent(currentDrawable);
    if (fontListBase != 0) glDeleteLists(fontListBase, 128);
    for (auto& entry : textureResources) {
        if (OpenGLTexture* texture = dynamic_cast<OpenGLTexture*>(entry.second)) {
            if (texture->textureName != 0) {
                GLuint name = texture->textureName;
                glDeleteTextures(1, &name);
            }
            delete texture;
            entry.second = nullptr;
        }
    }
    for (auto& entry : meshResources) {
        if (OpenGLMesh3D* mesh = dynamic_cast<OpenGLMesh3D*>(entry.second)) {
            GLuint name = mesh->vertexBuffer;
            if (name != 0) glDeleteBuffers(1, &name);
            name = mesh->normalBuffer;
            if (name != 0) glDeleteBuffers(1, &name);
            delete mesh;
            entry.second = nullptr;
        }
    }
    if (glContext) {
        glbinding::makeCurrent(nullptr, nullptr);
        glbinding::deleteContext(glContext);
        glContext = nullptr;
    }
}

DrawableContext* OpenGLContext::createDrawable(NativeWindow* window, bool multisample, uint32_t samples,
                                               bool stereo, bool vsync) {
    OpenGLDrawable* result = new OpenGLDrawable();
    if (!glbinding::prepareDrawable(*result, window, multisample, samples, stereo)) {
        delete result;
        return nullptr;
    }
    return result;
}

bool OpenGLContext::createContext(DrawableContext* target) {
    OpenGLDrawable* glDrawable = dynamic_cast<OpenGLDrawable*>(target);
    if (!glDrawable) return false;
    glContext = glbinding::createContext(*glDrawable);
    if (!glContext) return false;
    makeCurrent(target);
    GLenum error = glewInit();
    // Linux's GLEW looks for GLX's display after loading OpenGL's entry
    // points: under EGL there is none, and OpenGL is ready all the same.
    if (error != GLEW_OK && error != GLEW_ERROR_NO_GLX_DISPLAY) {
        fprintf(stderr, "Problem with GLEW Initialisation:\n");
        fprintf(stderr, "Error: %s\n", reinterpret_cast<const char*>(glewGetErrorString(error)));
        return false;
    }
    return true;
}

bool OpenGLContext::makeCurrent(DrawableContext* target) {
    OpenGLDrawable* glDrawable = dynamic_cast<OpenGLDrawable*>(target);
    if (!glbinding::makeCurrent(glDrawable, glContext)) return false;
    currentDrawable = glDrawable;
    return true;
}

void OpenGLContext::setSize(unsigned newWidth, unsigned newHeight) {
    width = newWidth;
    height = newHeight;
    // EGL sizes the window's buffers when the drawable is made current.
    if (glContext && currentDrawable) makeCurrent(currentDrawable);
}

double OpenGLContext::getVersion() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return version ? atof(version) : 0.0;
}

bool OpenGLContext::hasExtension(const char* list, const char* name) {
    if (!list || !name || !*name || strchr(name, ' ')) return false;
    size_t length = strlen(name);
    const char* from = list;
    while (const char* hit = strstr(from, name)) {
        const char* end = hit + length;
        if ((hit == list || hit[-1] == ' ') && (*end == '\0' || *end == ' ')) return true;
        from = end;
    }
    return false;
}

namespace {

const char* glText(GLenum name) {
    const char* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

// Returns the dedicated video memory in KiB.
int64_t printMemoryInfo() {
    GLint values[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < 5; i++) glGetIntegerv(0x9047 + i, &values[i]);
    printf("\nGPU Memory Info:\n");
    printf(" - DEDICATED_VIDMEM:         %d kb\n", values[0]);
    printf(" - TOTAL_AVAILABLE_MEMORY:   %d kb\n", values[1]);
    printf(" - CURRENT_AVAILABLE_VIDMEM: %d kb\n", values[2]);
    printf(" - EVICTION_COUNT:           %d   \n", values[3]);
    printf(" - EVICTED_MEMORY:           %d kb\n", values[4]);
    printf("\n");
    return values[0];
}

}  // namespace

void OpenGLContext::printCapabilities() {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable) return;
    const char* extensions = glText(GL_EXTENSIONS);
    // Mesa, AMD and Intel drivers lack the memory extension; the rest of the
    // report and the remote-session decision must not depend on it.
    DriverFacts& facts = driverFacts;
    if (hasExtension(extensions, "GL_NVX_gpu_memory_info"))
        facts.gpuMemoryKiB = printMemoryInfo();
    else
        printf("The GL_NVX_gpu_memory_info extension is not present.\n");

    printf("\nOpenGL Info:\n");
    printf(" - GL_VENDOR: %s\n", glText(GL_VENDOR));
    printf(" - GL_RENDERER: %s\n", glText(GL_RENDERER));
    printf(" - GL_VERSION: %s\n", glText(GL_VERSION));
    printf(" - GL_EXTENSIONS: %s\n", extensions);

    const char* windowSystem = glbinding::windowSystemExtensions(*glDrawable);
    printf("\n%s Info:\n", glbinding::windowSystemName());
    if (windowSystem) printf(" - %s_EXTENSIONS: %s\n", glbinding::windowSystemName(), windowSystem);
    // A remote-visualization session's window system names this extension.
    decideRemoteSession(hasExtension(windowSystem, "WGL_TARSEL_halvex"));

    facts.windowSystem = glbinding::windowSystemName();
    facts.vendor = glText(GL_VENDOR);
    facts.renderer = glText(GL_RENDERER);
    facts.version = glText(GL_VERSION);
    if (facts.gpuMemoryKiB < 0) facts.gpuMemoryKiB = glbinding::videoMemoryKiB(*glDrawable);
    facts.directRendering = glbinding::directRendering(*glDrawable, glContext);
    facts.softwareRasteriser = softwareRendererReason(facts.renderer);
    facts.extensionCount = countExtensions(extensions);
    facts.windowSystemExtensionCount = windowSystem ? countExtensions(windowSystem) : -1;
    facts.grantedSamples = glDrawable->samples;
    facts.grantedStereo = glDrawable->stereo;
}

}  // namespace vyr::test
