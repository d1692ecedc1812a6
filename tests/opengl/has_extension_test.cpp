#include <gtest/gtest.h>

#include "render/opengl/opengl_context.h"

using vyr::test::OpenGLContext;

// Whole words only, a later whole word counting after a prefix; unusable arguments never match.
TEST(HasExtension, WholeWordsOnly) {
    const struct {
        const char *list, *name;
        bool found;
    } cases[] = {
        {"WGL_ARB_multisample", "WGL_ARB_multisample", true}, {"A WGL_ARB_multisample B", "WGL_ARB_multisample", true},
        {"A WGL_ARB_multisample", "WGL_ARB_multisample", true}, {"XWGL_ARB_multisample", "WGL_ARB_multisample", false},
        {"WGL_ARB_multisampleX WGL_ARB_multisample_2", "WGL_ARB_multisample", false},
        {"GLX_ARB_multisample_x GLX_ARB_multisample", "GLX_ARB_multisample", true},
        {"WGL_TARSEL_halvexy WGL_TARSEL_halvex ", "WGL_TARSEL_halvex", true},
        {nullptr, "A", false}, {"A", nullptr, false}, {"A", "", false}, {"A B", "A B", false}, {"", "A", false},
    };
    for (const auto& c : cases) EXPECT_EQ(OpenGLContext::hasExtension(c.list, c.name), c.found) << &c - cases;
}
