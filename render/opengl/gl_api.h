// The OpenGL headers in the order both builds need: GLEW before gl.h, and on
// Windows the Win32 declarations before GLU (GLEW undefines its own stand-ins).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/glew.h>
#include <GL/glu.h>
