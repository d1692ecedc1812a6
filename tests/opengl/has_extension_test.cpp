#include <gtest/gtest.h>

#include "render/opengl/opengl_context.h"

using vyr::test::OpenGLContext;

TEST(HasExtension, WholeWordsOnly) {
    EXPECT_TRUE(OpenGLContext::hasExtension("WGL_ARB_multisample", "WGL_ARB_multisample"));
    EXPECT_TRUE(OpenGLContext::hasExtension("A WGL_ARB_multisample B", "WGL_ARB_multisample"));
    EXPECT_TRUE(OpenGLContext::hasExtension("A WGL_ARB_multisample", "WGL_ARB_multisample"));
    EXPECT_FALSE(OpenGLContext::hasExtension("WGL_ARB_multisampleX WGL_ARB_multisample_2", "WGL_ARB_multisample"));
    EXPECT_FALSE(OpenGLContext::hasExtension("XWGL_ARB_multisample", "WGL_ARB_multisample"));
}

TEST(HasExtension, LaterWholeWordCountsAfterAPrefix) {
    EXPECT_TRUE(OpenGLContext::hasExtension("GLX_ARB_multisample_x GLX_ARB_multisample", "GLX_ARB_multisample"));
    EXPECT_TRUE(OpenGLContext::hasExtension("WGL_TARSEL_halvexy WGL_TARSEL_halvex ", "WGL_TARSEL_halvex"));
}

TEST(HasExtension, RejectsUnusableArguments) {
    EXPECT_FALSE(OpenGLContext::hasExtension(nullptr, "A"));
    EXPECT_FALSE(OpenGLContext::hasExtension("A", nullptr));
    EXPECT_FALSE(OpenGLContext::hasExtension("A", ""));
    EXPECT_FALSE(OpenGLContext::hasExtension("A B", "A B"));
    EXPECT_FALSE(OpenGLContext::hasExtension("", "A"));
}
