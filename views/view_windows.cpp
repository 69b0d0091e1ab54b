// view_windows.cpp: the OpenGL side of the four view windows: the state of a
// new context and the viewport after a size change.
#include <GL/gl.h>

#include "views/views.h"

void prepareViewContext(ViewKind view)
{
    if (view == ViewKind::ThreeD) glEnable(GL_TEXTURE_2D);
}

void finishViewContext(ViewKind view)
{
    glDisable(GL_LIGHTING);
    if (view != ViewKind::ThreeD) glDisable(GL_FOG);
}

void resetViewViewport(int32_t width, int32_t height)
{
    glLoadIdentity();
    glViewport(0, 0, width, height);
}
