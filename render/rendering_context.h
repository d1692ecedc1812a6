// The one interface between the shell, the scene content and a graphics back-end.
// Back-ends: render/opengl/ (OpenGLContext) and render/d3d9/ (DirectX9Context).
#pragma once

#include <cstdint>
#include <map>

#include "platform/desktop.h"
#include "platform/native_window.h"
#include "render/driver_facts.h"
#include "render/frame_image.h"
#include "render/frame_statistics.h"
#include "render/screen_frames.h"
#include "render/timer.h"

namespace vyr::test {

class Project3D;
class Object3D;
class Texture;

enum PauseState : int { Running = 0, PauseRequested = 1, Paused = 2 };

// What a window is drawn into; each back-end derives its own.
class DrawableContext {
public:
    virtual ~DrawableContext() = default;
};

// A texture held by the graphics API.
class RenderingTexture {
public:
    virtual ~RenderingTexture() = default;
};

// A mesh held by the graphics API.
class RenderingMesh3D {
public:
    virtual ~RenderingMesh3D() = default;
};

class RenderingContext {
public:
    RenderingContext();
    // Slot 0. The back-end's destructor releases every object in the two maps.
    virtual ~RenderingContext();

    // Slots 1 to 18, in this order; the order is part of the interface.
    virtual DrawableContext* createDrawable(NativeWindow* window, bool multisample, uint32_t samples,
                                            bool stereo, bool vsync) = 0;
    virtual bool createContext(DrawableContext* drawable) = 0;
    virtual void setDeviceLost(bool lost) = 0;
    virtual bool isDeviceLost() = 0;
    virtual bool resetDevice() = 0;
    virtual void printCapabilities() = 0;
    virtual double getVersion() = 0;
    virtual void setSize(unsigned width, unsigned height) = 0;
    virtual bool makeCurrent(DrawableContext* drawable) = 0;
    virtual void present() = 0;
    virtual void setupRenderState() = 0;
    virtual void drawObject(Project3D* project, Object3D* object, float alpha) = 0;
    virtual void drawScene(float eyeOffset, Project3D* project, Texture** overlays) = 0;
    virtual void renderFrame(Project3D* project, Texture** overlays) = 0;
    virtual bool uploadTexture(Texture* texture, const float* palette) = 0;
    virtual bool uploadMesh(Object3D* object) = 0;
    virtual bool uploadProject(Project3D* project);  // shared by both back-ends
    virtual void copyFrameToWindow() {}

    // Limiter: sleeps until the next slot of the frameLimit grid.
    void paceFrame(uint64_t now);
    // Frame statistics: the periodic report and currentFrameRate.
    void countFrame(uint64_t now) { statistics.countFrame(now, reportInterval); }
    uint64_t elapsedMs() const { return frameTimer.elapsedMs(); }
    uint64_t currentFrameRate() const { return statistics.currentFrameRate; }

    DrawableContext* currentDrawable = nullptr;
    std::map<const Object3D*, RenderingMesh3D*> meshResources;
    std::map<const Texture*, RenderingTexture*> textureResources;
    uint32_t width = 0;
    uint32_t height = 0;
    PauseState pauseState = Running;
    uint64_t frameLimit = 0;
    uint64_t reportInterval = 0;
    bool remoteActive = false;
    bool showFrameRate = false;
    bool benchmark = false;
    Timer frameTimer;
    FrameStatistics statistics;
    ScreenFrames screenFrames;
    DriverFacts driverFacts;
    SessionDecision sessionDecision = SessionDecision::Undecided;
    platform::DesktopFacts desktop;  // set by the shell once the window exists
    // Set by the picture check for one frame: the scene time that frame shows
    // (negative: the scene clock's), and where present() copies the frame's
    // width x height pixels (the viewport, origin top-left of the drawable)
    // before showing it. A present with a capture returns once the frame is
    // on its way to the window system, so the window's pixels can be read.
    float sceneTimeOverride = -1.0f;
    FrameImage* frameCapture = nullptr;

protected:
    // The steps every back-end's renderFrame shares: the frame time read once,
    // the limiter, the statistics, drawScene once or for each eye of a stereo
    // drawable, and present.
    void produceFrame(Project3D* project, Texture** overlays, bool stereo);
    // Sets remoteActive and prints its line: the back-end's own marker, or
    // else the session daemon's answer.
    void decideRemoteSession(bool markerPresent);
    // Each back-end's present() calls this just before it hands the frame to
    // the window system, for the screen's figures.
    void handOver() { screenFrames.handOver(frameTimer.elapsedUs(), pauseState != Running); }
};

}  // namespace vyr::test
