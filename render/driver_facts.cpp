#include "render/driver_facts.h"


namespace vyr::test {

std::string softwareRendererReason(const std::string& renderer) {
    // Mesa's three CPU rasterisers, Windows' own OpenGL 1.1 and its basic
    // display driver, and a reference device.
    static const char* const names[] = {"llvmpipe", "softpipe", "swrast", "GDI Generic",
                                        "Microsoft Basic Render Driver", "Reference Rasterizer"};
    for (const char* name : names)
        if (renderer.find(name) != std::string::npos)
            return std::string("renderer \"") + renderer + "\"";
    return std::string();
}

int firstSampleCount(uint32_t requested) {
    // Halving the request never overflows, whatever -ms asked for.
    uint32_t limit = requested < 0x40000000u ? requested : 0x40000000u;
    uint32_t n = 1;
    while (n <= limit / 2) n *= 2;
    return int(n);
}

int countExtensions(const char* list) {
    int count = 0;
    for (const char* p = list; p && *p;) {
        while (*p == ' ') ++p;
        if (!*p) break;
        ++count;
        while (*p && *p != ' ') ++p;
    }
    return count;
}

}  // namespace vyr::test
