// OpenGLContext: render state, uploads, materials and the demo scene's frame
// in the fixed-function pipeline.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    driverFacts.swapInterval = glbinding::swapInterval(*glDrawable);
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

void OpenGLContext::drawObject(Project3D* project, Object3D* object, float alpha) {
    drawSceneObject(*this, *this, project, object, alpha);
}

void OpenGLContext::drawScene(float eyeOffset, Project3D* project, Texture** overlays) {
    drawDemoScene(*this, *this, eyeOffset, project, overlays);
}

void OpenGLContext::renderFrame(Project3D* project, Texture** overlays) {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable) return;
    produceFrame(project, overlays, glDrawable->stereo);
}

// >>opengl scene primitives

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

bool OpenGLContext::beginFrame(float eyeOffset) {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable) return false;
    // A stereo drawable takes each eye into its own back buffer.
    if (glDrawable->stereo) glDrawBuffer(eyeOffset < 0.0f ? GL_BACK_LEFT : GL_BACK_RIGHT);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return true;
}

void OpenGLContext::endFrame() {}

void OpenGLContext::drawBackground(Texture* image) {
    applyBackgroundProjection(width, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    bindHeldTexture(image);
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
}

void OpenGLContext::setCamera() {
    const unsigned h1 = std::max(height, 1u);
    glViewport(0, 0, GLsizei(width), GLsizei(h1));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(float(width) / float(h1)), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void OpenGLContext::beginStars(bool streaks, Texture*) {
    if (!streaks) {
        glBlendFunc(GL_ONE, GL_ONE);
        glEnable(GL_BLEND);
    } else {
        glDisable(GL_BLEND);
        glDisable(GL_LIGHTING);
        glDisable(GL_COLOR_MATERIAL);
        glDisable(GL_TEXTURE_2D);
    }
}

void OpenGLContext::drawStreak() {
    glBegin(GL_LINES);
    glColor3f(0.0f, 0.0f, 0.5f);
    glVertex3f(0.0f, 0.0f, 0.5f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glVertex3f(0.0f, 0.0f, -0.5f);
    glEnd();
}

void OpenGLContext::endStars(bool streaks) {
    if (streaks) {
        glEnable(GL_LIGHTING);
        glEnable(GL_COLOR_MATERIAL);
    }
    glDepthMask(GL_TRUE);
}

void OpenGLContext::beginLogos(bool blended) {
    if (blended) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
    } else {
        glDisable(GL_BLEND);
    }
}

void OpenGLContext::clearDepth() { glClear(GL_DEPTH_BUFFER_BIT); }

void OpenGLContext::placeObject(const ModelTransform& transform) {
    glLoadIdentity();
    for (int i = 0; i < transform.count; i++) {
        const TransformStep& step = transform.steps[i];
        switch (step.kind) {
        case TransformStep::Translate:
            glTranslatef(step.x, step.y, step.z);
            break;
        case TransformStep::RotateY:
            glRotatef(step.x, 0.0f, 1.0f, 0.0f);
            break;
        case TransformStep::Scale:
            glScalef(step.x, step.y, step.z);
            break;
        }
    }
}

void OpenGLContext::turnObject(float degrees) { glRotatef(degrees, 0.0f, 1.0f, 0.0f); }

void OpenGLContext::drawMesh(Mesh3D& mesh, const MeshMaterial* material, Texture* texture, float alpha) {
    auto found = meshResources.find(&mesh);
    OpenGLMesh3D* held = found != meshResources.end() ? dynamic_cast<OpenGLMesh3D*>(found->second) : nullptr;
    if (!held) return;
    if (material) applyMaterial(*material, texture, alpha);
    glBindBuffer(GL_ARRAY_BUFFER, held->vertexBuffer);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, held->normalBuffer);
    glNormalPointer(GL_FLOAT, 0, nullptr);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(3 * mesh.triangleCount));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}

// Colour tracks the material (GL_COLOR_MATERIAL): glColor sets diffuse and ambient.
void OpenGLContext::applyMaterial(const MeshMaterial& material, Texture* texture, float alpha) {
    if (material.emissive) {
        const GLfloat emission[4] = {1.0f, 1.0f, 1.0f, alpha};
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    } else {
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, noEmission);
    }
    glColor4f(float(material.red) / 255.0f, float(material.green) / 255.0f, float(material.blue) / 255.0f, alpha);
    switch (material.placement) {
    case TexturePlacement::Untextured:
        glDisable(GL_TEXTURE_2D);
        return;
    case TexturePlacement::SphereMap:
        // The reflection is blended toward a deep blue by its brightness.
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, sphereEnvironmentColour);
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        break;
    case TexturePlacement::ObjectLinear:
        // s = -0.5 z, t = x in the object's own coordinates.
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        glTexGenfv(GL_S, GL_OBJECT_PLANE, coneSPlane);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        glTexGenfv(GL_T, GL_OBJECT_PLANE, coneTPlane);
        break;
    }
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    bindHeldTexture(texture);
}

void OpenGLContext::beginOverlays() {
    glViewport(0, 0, GLsizei(width), GLsizei(height));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, double(width), 0.0, double(height), -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
}

void OpenGLContext::drawOverlay(Texture* image, float left, bool enableBlending) {
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    bindHeldTexture(image);
    if (enableBlending) glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const float right = left + float(overlayWidth);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(left, 0.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(left, float(overlayHeight), 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(right, float(overlayHeight), 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(right, 0.0f, 1.0f);
    glEnd();
}

void OpenGLContext::beginText() {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

// Bitmap text rises from its raster position, rows counted upward: the black
// shadow at 15 pixels below the top edge shows one pixel above the white face.
void OpenGLContext::drawText(const char* text, TextLayer layer) {
    const bool shadow = layer == TextLayer::Shadow;
    glLoadIdentity();
    glRasterPos3f(3.0f, float(int(height) - (shadow ? 0 : 1)) - 15.0f, shadow ? 0.0f : -1.0f);
    if (shadow)
        glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    else
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    GLsizei length = GLsizei(strnlen(text, 255));
    glPushAttrib(GL_LIST_BIT);
    glListBase(fontListBase);
    glCallLists(length, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

// <<opengl scene primitives

void OpenGLContext::present() {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable) return;
    if (frameCapture) readFrame(*frameCapture);
    handOver();
    glbinding::swapBuffers(*glDrawable);
    copyFrameToWindow();
    // The window's pixels are read next: the swap must be done by then.
    if (frameCapture) glFinish();
}

void OpenGLContext::readFrame(FrameImage& frame) {
    frame.width = width;
    frame.height = height;
    frame.left = 0;
    frame.top = 0;
    frame.fromBottom = true;
    frame.rgba.assign(size_t(width) * height * 4, 0);
    if (frame.rgba.empty()) return;
    // Reading a multisampled back buffer directly gives what the driver last
    // resolved, not always this frame: it is resolved into a plain
    // framebuffer of our own first, as the swap does.
    GLuint resolved = 0, colour = 0;
    const bool blit = GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object;
    if (blit) {
        glGenFramebuffers(1, &resolved);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(width), GLsizei(height));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glReadBuffer(GL_BACK);
        glBlitFramebuffer(0, 0, GLint(width), GLint(height), 0, 0, GLint(width), GLint(height), GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, resolved);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    } else {
        glReadBuffer(GL_BACK);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::vector<uint8_t> bottomUp(frame.rgba.size());
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    if (blit) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glDeleteRenderbuffers(1, &colour);
        glDeleteFramebuffers(1, &resolved);
    }
    const size_t row = size_t(width) * 4;
    for (uint32_t y = 0; y < height; y++)
        std::copy_n(bottomUp.data() + (height - 1 - y) * row, row, frame.rgba.data() + y * row);
    for (size_t i = 3; i < frame.rgba.size(); i += 4) frame.rgba[i] = 255;
}

void OpenGLContext::copyFrameToWindow() {
    OpenGLDrawable* glDrawable = drawable();
    if (!glDrawable || !glDrawable->gdiMode || width == 0 || height == 0) return;
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    glbinding::copyToWindow(*glDrawable, pixels.data(), width, height);
}

}  // namespace vyr::test
