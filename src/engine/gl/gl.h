// The one header that brings OpenGL into the engine: GLEW on the desktop builds,
// OpenGL ES 2 on the Raspberry Pi build. Everything that calls GL includes this.
#pragma once

#if defined(KORVANE_GLES2)
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>
#else
#include <GL/glew.h>
#endif
