// Makes the driver of the program it is preloaded into tell something else:
//   VYR_TEST_GLX_EXTENSION=<name>  glXQueryExtensionsString ends with <name>
//                                  (what a remote-visualization server's GLX adds)
//   VYR_TEST_GL_RENDERER=<text>    glGetString(GL_RENDERER) returns <text>
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <GL/glx.h>

const char* glXQueryExtensionsString(Display* display, int screen) {
    static const char* (*real)(Display*, int);
    static char* extended;
    static const char* extendedFrom;
    if (!real) real = (const char* (*)(Display*, int))dlsym(RTLD_NEXT, "glXQueryExtensionsString");
    const char* list = real(display, screen);
    const char* added = getenv("VYR_TEST_GLX_EXTENSION");
    if (!list || !added || !*added) return list;
    // The driver keeps its string for the display's life; so does this one.
    if (list != extendedFrom) {
        size_t length = strlen(list);
        char* text = malloc(length + strlen(added) + 3);
        if (!text) return list;
        strcpy(text, list);
        if (length && text[length - 1] != ' ') strcat(text, " ");
        strcat(text, added);
        strcat(text, " ");
        free(extended);
        extended = text;
        extendedFrom = list;
    }
    return extended;
}

const GLubyte* glGetString(GLenum name) {
    static const GLubyte* (*real)(GLenum);
    if (!real) real = (const GLubyte* (*)(GLenum))dlsym(RTLD_NEXT, "glGetString");
    const char* renderer = getenv("VYR_TEST_GL_RENDERER");
    if (name == GL_RENDERER && renderer) return (const GLubyte*)renderer;
    return real(name);
}
