// Makes the driver of the program it is preloaded into tell something else:
//   VYR_TEST_GLX_EXTENSION=<name>  glXQueryExtensionsString ends with <name>
//                                  (what a remote-visualization server's GLX adds)
//   VYR_TEST_GL_RENDERER=<text>    glGetString(GL_RENDERER) returns <text>
//   VYR_TEST_GL_VERSION=<text>     glGetString(GL_VERSION) returns <text>
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
    const char* version = getenv("VYR_TEST_GL_VERSION");
    if (name == GL_RENDERER && renderer) return (const GLubyte*)renderer;
    if (name == GL_VERSION && version) return (const GLubyte*)version;
    return real(name);
}

// GLEW asks for glGetString through the window system rather than linking it.
typedef void (*Entry)(void);

static Entry disguisedEntry(const GLubyte* name) {
    return strcmp((const char*)name, "glGetString") == 0 ? (Entry)glGetString : NULL;
}

Entry glXGetProcAddressARB(const GLubyte* name) {
    static Entry (*real)(const GLubyte*);
    if (!real) real = (Entry(*)(const GLubyte*))dlsym(RTLD_NEXT, "glXGetProcAddressARB");
    Entry own = disguisedEntry(name);
    return own ? own : real(name);
}

Entry glXGetProcAddress(const GLubyte* name) {
    static Entry (*real)(const GLubyte*);
    if (!real) real = (Entry(*)(const GLubyte*))dlsym(RTLD_NEXT, "glXGetProcAddress");
    Entry own = disguisedEntry(name);
    return own ? own : real(name);
}
