// OpenGLContext: render state, uploads, materials and the demo scene's frame
// in the fixed-function pipeline.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "render/demo_scene.h"
#include "render/opengl/gl_api.h"
#include "render/opengl/gl_window_binding.h"
#include "render/opengl/opengl_context.h"
#include "render/opengl/opengl_drawable.h"
#include "render/opengl/opengl_resources.h"
#include "scene/object3d.h"
#include "scene/project3d.h"
#include "scene/texture.h"

namespace vyr::test {

namespace {

const GLfloat darkColour[3] = {0.0f, 0.13725491f, 0.41568628f};
const GLfloat lightColour[3] = {0.6901961f, 0.8039216f, 0.92156863f};
const GLfloat sphereEnvironmentColour[4] = {0.0f, 0.1f, 0.5f, 1.0f};
const GLfloat coneSPlane[4] = {0.0f, 0.0f, -0.5f, 0.0f};
const GLfloat coneTPlane[4] = {1.0f, 0.0f, 0.0f, 0.0f};
const GLfloat noEmission[4] = {0.0f, 0.0f, 0.0f, 1.0f};

}  // namespace

void OpenGLContext::setupRenderState() {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable) return;
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);

    const GLfloat ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat diffuse[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat specular[4] = {0.3f, 0.3f, 0.3f, 0.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 3.0f);

    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    fontListBase = glGenLists(128);
    glbinding::buildFont(*glDrawable, fontListBase);

    if (benchmark) glbinding::disableSwapWait(*glDrawable);
}

bool OpenGLContext::uploadTexture(Texture* texture, const float* palette) {
    if (!texture) return false;
    OpenGLTexture*& held = reinterpret_cast<OpenGLTexture*&>(textureResources[texture]);
    if (!dynamic_cast<OpenGLTexture*>(static_cast<RenderingTexture*>(held))) {
        // A foreign entry cannot be one of ours; it is replaced, not reused.
        held = new OpenGLTexture();
    }
    if (!texture->pixels) return true;

    const uint8_t* source = texture->pixels;
    GLenum format = GL_RGBA;
    GLint internalFormat = 4;
    if (texture->format == RGB8) {
        format = GL_RGB;
        internalFormat = 3;
    } else if (texture->format == Index8) {
        if (!texture->converted) texture->converted = static_cast<uint8_t*>(malloc(size_t(texture->width) * texture->height * 3));
        if (!texture->converted) return true;
        for (uint32_t row = 0; row < texture->height; row++) {
            const uint8_t* in = texture->pixels + size_t(row) * texture->pitch;
            uint8_t* out = texture->converted + size_t(row) * texture->width * 3;
            for (uint32_t x = 0; x < texture->width; x++) {
                uint8_t v = in[x];
                if (palette) {
                    for (int c = 0; c < 3; c++) out[x * 3 + c] = uint8_t(int(palette[v * 4 + c]));
                } else {
                    out[x * 3] = out[x * 3 + 1] = out[x * 3 + 2] = v;
                }
            }
        }
        source = texture->converted;
        format = GL_RGB;
        internalFormat = 3;
    }

    if (held->textureName == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        held->textureName = name;
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, GLsizei(texture->width), GLsizei(texture->height), 0,
                     format, GL_UNSIGNED_BYTE, source);
    } else {
        glBindTexture(GL_TEXTURE_2D, held->textureName);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(texture->width), GLsizei(texture->height), format,
                        GL_UNSIGNED_BYTE, source);
    }
    return true;
}

bool OpenGLContext::uploadMesh(Object3D* object) {
    if (!object) return true;
    if (Mesh3D* mesh = dynamic_cast<Mesh3D*>(object)) {
        RenderingMesh3D*& entry = meshResources[object];
        OpenGLMesh3D* held = dynamic_cast<OpenGLMesh3D*>(entry);
        if (!held) {
            held = new OpenGLMesh3D();
            entry = held;
        }
        GLsizeiptr bytes = GLsizeiptr(36) * mesh->triangleCount;
        if (held->vertexBuffer == 0) {
            GLuint names[2] = {0, 0};
            glGenBuffers(2, names);
            held->vertexBuffer = names[0];
            held->normalBuffer = names[1];
            for (GLuint name : names) {
                glBindBuffer(GL_ARRAY_BUFFER, name);
                glBufferData(GL_ARRAY_BUFFER, bytes, nullptr, GL_STATIC_DRAW);
            }
        }
        glBindBuffer(GL_ARRAY_BUFFER, held->vertexBuffer);
        glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, mesh->vertices);
        glBindBuffer(GL_ARRAY_BUFFER, held->normalBuffer);
        glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, mesh->normals);
    }
    for (Object3D* child : object->children) {
        if (child && !uploadMesh(child)) return false;
    }
    return true;
}

bool OpenGLContext::bindHeldTexture(Texture* texture) {
    auto found = textureResources.find(texture);
    if (!texture || found == textureResources.end()) return false;
    OpenGLTexture* held = dynamic_cast<OpenGLTexture*>(found->second);
    if (!held) return false;
    glBindTexture(GL_TEXTURE_2D, held->textureName);
    return true;
}

namespace {

Texture* meshTexture(Project3D* project, Mesh3D* mesh, const char* name) {
    if (!mesh->texture && project) mesh->texture = project->findTexture(name);
    return mesh->texture;
}

}  // namespace

void OpenGLContext::drawObject(Project3D* project, Object3D* object, float alpha) {
    if (!object) return;
    Mesh3D* mesh = dynamic_cast<Mesh3D*>(object);
    auto found = mesh ? meshResources.find(object) : meshResources.end();
    OpenGLMesh3D* held = found != meshResources.end() ? dynamic_cast<OpenGLMesh3D*>(found->second) : nullptr;
    if (mesh && held) {
        const std::string& name = mesh->name;
        if (name == "Cap_21_1" || name == "Cap_12_1") {
            glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, noEmission);
            glColor4f(darkColour[0], darkColour[1], darkColour[2], alpha);
            glEnable(GL_TEXTURE_2D);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
            glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, sphereEnvironmentColour);
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
            bindHeldTexture(meshTexture(project, mesh, "gfx/smap.jpg"));
        } else if (name == "Cap_2_1" || name == "Cap_23_1") {
            glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, noEmission);
            glColor4f(lightColour[0], lightColour[1], lightColour[2], alpha);
            glDisable(GL_TEXTURE_2D);
        } else if (name == "Cone") {
            const GLfloat emission[4] = {1.0f, 1.0f, 1.0f, alpha};
            glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
            glColor4f(1.0f, 1.0f, 1.0f, alpha);
            glEnable(GL_TEXTURE_2D);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
            glTexGenfv(GL_S, GL_OBJECT_PLANE, coneSPlane);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
            glTexGenfv(GL_T, GL_OBJECT_PLANE, coneTPlane);
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
            bindHeldTexture(meshTexture(project, mesh, "gfx/gradient.jpg"));
        }
        glBindBuffer(GL_ARRAY_BUFFER, held->vertexBuffer);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glBindBuffer(GL_ARRAY_BUFFER, held->normalBuffer);
        glNormalPointer(GL_FLOAT, 0, nullptr);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(3 * mesh->triangleCount));
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
    }
    for (Object3D* child : object->children) {
        if (child) drawObject(project, child, alpha);
    }
}

void OpenGLContext::applyBackgroundProjection(unsigned viewWidth, unsigned viewHeight) {
    glViewport(0, 0, GLsizei(viewWidth), GLsizei(viewHeight));
    float w = float(std::max(viewWidth, 1u));
    float h = float(std::max(viewHeight, 1u));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (h <= w)
        glOrtho(-1.0, 1.0, -h / w, h / w, -1.0, 1.0);
    else
        glOrtho(-w / h, w / h, -1.0, 1.0, -1.0, 1.0);
}

void OpenGLContext::drawOverlayQuad(float x0, float x1) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(x0, 0.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(x0, float(overlayHeight), 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(x1, float(overlayHeight), 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(x1, 0.0f, 1.0f);
    glEnd();
}

void OpenGLContext::drawScene(float eyeOffset, Project3D* project, Texture** overlays) {
    if (!drawable()) return;
    Texture* background = overlays ? overlays[0] : nullptr;
    Texture* pauseLabel = overlays ? overlays[1] : nullptr;
    Texture* offIndicator = overlays ? overlays[2] : nullptr;
    const unsigned w = width, h = height;
    const unsigned h1 = std::max(h, 1u);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    applyBackgroundProjection(w, h);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    bindHeldTexture(background);
    glColor3f(1.0f, 1.0f, 1.0f);
    glDepthMask(GL_FALSE);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, -1.0f);
    glTexCoord2f(0.0f, 2.0f);
    glVertex3f(-1.0f, 1.0f, -1.0f);
    glTexCoord2f(2.0f, 2.0f);
    glVertex3f(1.0f, 1.0f, -1.0f);
    glTexCoord2f(2.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, -1.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    glViewport(0, 0, GLsizei(w), GLsizei(h1));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(float(w) / float(h1)), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const float t = animationTime(*this);

    Object3D* star = project ? project->findObject("gfx/star.dae") : nullptr;
    if (!benchmark) {
        glBlendFunc(GL_ONE, GL_ONE);
        glEnable(GL_BLEND);
    } else {
        glDisable(GL_BLEND);
        glDisable(GL_LIGHTING);
        glDisable(GL_COLOR_MATERIAL);
        glDisable(GL_TEXTURE_2D);
    }
    for (int k = 0; k < starCandidates; k++) {
        StarPosition p;
        if (!starPosition(k, t, starDepthOffsetOpenGL, p)) continue;
        glLoadIdentity();
        glTranslatef(eyeOffset, 0.0f, 0.0f);
        glTranslatef(p.x, p.y, p.z);
        glScalef(2.0f, 2.0f, 1.0f);
        glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
        if (!benchmark) {
            if (star) drawObject(project, star, 1.0f);
        } else {
            glBegin(GL_LINES);
            glColor3f(0.0f, 0.0f, 0.5f);
            glVertex3f(0.0f, 0.0f, 0.5f);
            glColor3f(1.0f, 1.0f, 1.0f);
            glVertex3f(0.0f, 0.0f, -0.5f);
            glEnd();
        }
    }
    if (benchmark) {
        glEnable(GL_LIGHTING);
        glEnable(GL_COLOR_MATERIAL);
    }

    glDepthMask(GL_TRUE);

    Object3D* front = project ? project->findObject("gfx/Tarsel Logo.dae") : nullptr;
    Object3D* back = project ? project->findObject("gfx/VYR Logo.dae") : nullptr;
    if (eyeOffset == 0.0f) {
        float a = logoSpinMono * t;
        float frontAlpha = 1.0f, backAlpha = 0.0f;
        logoAlphas(a, frontAlpha, backAlpha);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glLoadIdentity();
        glTranslatef(2.0f * eyeOffset, 0.0f, 0.0f);
        glTranslatef(0.0f, 0.0f, -8.0f);
        glRotatef(a, 0.0f, 1.0f, 0.0f);
        if (front) drawObject(project, front, frontAlpha);
        // The back logo is drawn over the front one whatever their depths.
        glClear(GL_DEPTH_BUFFER_BIT);
        glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
        if (back) drawObject(project, back, backAlpha);
    } else {
        float a = logoSpinStereo * t;
        glDisable(GL_BLEND);
        glLoadIdentity();
        glTranslatef(2.0f * eyeOffset, 0.0f, -8.0f);
        glRotatef(a, 0.0f, 1.0f, 0.0f);
        glTranslatef(0.0f, 0.0f, -3.0f);
        glRotatef(-a, 0.0f, 1.0f, 0.0f);
        if (front) drawObject(project, front, 1.0f);
        glLoadIdentity();
        glTranslatef(2.0f * eyeOffset, 0.0f, -8.0f);
        glRotatef(a, 0.0f, 1.0f, 0.0f);
        glTranslatef(0.0f, 0.0f, 3.0f);
        glRotatef(-a, 0.0f, 1.0f, 0.0f);
        if (back) drawObject(project, back, 1.0f);
    }

    glViewport(0, 0, GLsizei(w), GLsizei(h));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, double(w), 0.0, double(h), -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    if (pauseState != Running) {
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        bindHeldTexture(pauseLabel);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        drawOverlayQuad(0.0f, float(overlayWidth));
        completePauseTransition(*this);
    } else if (showFrameRate) {
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        for (int i = 0; i < 2; i++) {
            glLoadIdentity();
            glRasterPos3f(3.0f, float(int(h) - i) - 15.0f, float(-i));
            // Black first: the shadow one pixel above the white text.
            if (i == 0)
                glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
            else
                glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
            drawText("Generated FPS: %d", int32_t(currentFrameRate));
        }
    }
    if (!remoteActive) {
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        bindHeldTexture(offIndicator);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        float right = float(w) - float(offIndicatorRightMargin);
        drawOverlayQuad(right - float(overlayWidth), right);
    }
}

void OpenGLContext::drawText(const char* format, ...) {
    if (!format) return;
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    length = std::min(length, 255);
    glPushAttrib(GL_LIST_BIT);
    glListBase(fontListBase);
    glCallLists(length, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

void OpenGLContext::renderFrame(Project3D* project, Texture** overlays) {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable) return;
    uint64_t now = elapsedMs();
    if (frameLimit != 0) paceFrame(now);
    countFrame(now);
    if (glDrawable->stereo) {
        glDrawBuffer(GL_BACK_LEFT);
        drawScene(-0.05f, project, overlays);
        glDrawBuffer(GL_BACK_RIGHT);
        drawScene(0.05f, project, overlays);
    } else {
        drawScene(0.0f, project, overlays);
    }
    present();
}

void OpenGLContext::present() {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable) return;
    glbinding::swapBuffers(*glDrawable);
    copyFrameToWindow();
}

void OpenGLContext::copyFrameToWindow() {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable || !glDrawable->gdiMode || width == 0 || height == 0) return;
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    glbinding::copyToWindow(*glDrawable, pixels.data(), width, height);
}

}  // namespace vyr::test
