#include "render/rendering_context.h"

#include <cstdio>

#include "platform/clock.h"
#include "scene/project3d.h"

namespace vyr::test {

RenderingContext::RenderingContext() { frameTimer.start(); }

RenderingContext::~RenderingContext() = default;

bool RenderingContext::uploadProject(Project3D* project) {
    if (!project) return false;
    for (auto& entry : project->textures) uploadTexture(entry.second, nullptr);
    for (auto& entry : project->objects) uploadMesh(entry.second);
    return true;
}

void RenderingContext::paceFrame(uint64_t now) {
    uint64_t interval = 1000 / frameLimit;
    // A limit above 1000 truncates to a 0 ms interval: run unpaced rather than
    // take a remainder by zero.
    if (interval == 0) return;
    if (now > nextFrameDue) {
        nextFrameDue = now - (now % interval);
    } else if (now < nextFrameDue) {
        platform::sleepMs(nextFrameDue - now);
    }
    nextFrameDue += interval;
}

void RenderingContext::countFrame(uint64_t now) {
    if (reportInterval != 0) {
        reportFrames++;
        uint64_t period = reportInterval * 1000;
        if (now > reportDeadline) {
            if (reportDeadline != 0) {
                uint64_t elapsed = now - (reportDeadline - period);
                double average = double(reportFrames) * 1000.0 / double(elapsed);
                printf("Produced %llu frames in the last %llu ms: average FPS %.3f\n",
                       (unsigned long long)reportFrames, (unsigned long long)elapsed, average);
                fflush(stdout);
            }
            reportFrames = 0;
            reportDeadline = now - (now % period) + period;
        }
    }

    secondFrames++;
    if (now > secondDeadline) {
        if (secondDeadline != 0) {
            currentFrameRate = uint64_t((double(secondFrames) * 1000.0 + 999.0) /
                                        double(now - secondDeadline + 1000));
        }
        secondFrames = 0;
        secondDeadline = now - (now % 1000) + 1000;
    }
}

}  // namespace vyr::test
