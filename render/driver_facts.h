// What a back-end learned of the driver and what it was granted, gathered
// while it prints its report, for the results file and the notices.
#pragma once

#include <cstdint>
#include <string>

namespace vyr::test {

struct DriverFacts {
    std::string windowSystem;  // "GLX", "WGL", "Direct3D 9"
    std::string vendor, renderer, version;
    int64_t gpuMemoryKiB = -1;         // -1: the driver does not say
    int directRendering = -1;          // 1 direct, 0 through the X server, -1 not applicable
    std::string softwareRasteriser;    // what shows that frames come from the CPU; empty for a GPU
    int extensionCount = -1;              // -1: no such list
    int windowSystemExtensionCount = -1;  // -1: no such list
    uint32_t grantedSamples = 0;       // 0: no multisampling
    bool grantedStereo = false;
    int swapInterval = -1;             // frames per swap in force; -1: cannot be asked
    std::string presentMode;           // Vulkan's present mode; empty elsewhere
};

// How remoteActive was decided.
enum class SessionDecision { Undecided, Marker, DaemonAnswer, DaemonNotRunning, DaemonFailure };

// 'renderer "<name>"' when the name is that of a software rasteriser, else empty.
std::string softwareRendererReason(const std::string& renderer);
// Where a multisample search starts: the largest power of two at or below the
// request that a signed int can hold; 1 for 0 or 1.
int firstSampleCount(uint32_t requested);
// Blank-separated words in an extension list (null: 0).
int countExtensions(const char* list);

}  // namespace vyr::test
