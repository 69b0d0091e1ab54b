// camera.cpp: the camera on the projection matrix, the screen-aligned label
// quad and the textured cube. Reads and writes Engine::camera; OpenGL 1.1.
#include "engine/engine.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

// One step only, as the views rely on: 0 becomes 360, 800 becomes 440.
float normaliseAngle(float angle)
{
    if (angle <= 0.0f) return angle + 360.0f;
    if (angle > 360.0f) return angle - 360.0f;
    return angle;
}

void applyCamera(const CameraState& c, float aspect)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    perspective(c.fieldOfView, aspect, c.nearPlane, c.farPlane);
    glRotatef(c.angleX, 1.0f, 0.0f, 0.0f);
    glRotatef(c.angleY, 0.0f, 1.0f, 0.0f);
    glRotatef(c.angleZ, 0.0f, 0.0f, 1.0f);
    glTranslatef(c.x, c.y, c.z);
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

void setCamera(Engine& engine, float aspect, float fieldOfView, float x, float y, float z,
               float angleX, float angleY, float angleZ)
{
    CameraState& c = engine.camera;
    c.fieldOfView = fieldOfView;
    c.nearPlane = 0.001f;
    c.farPlane = 50.0f;
    c.x = x;
    c.y = y;
    c.z = z;
    c.angleX = normaliseAngle(angleX);
    c.angleY = normaliseAngle(angleY);
    c.angleZ = normaliseAngle(angleZ);
    applyCamera(c, aspect);
}

void perspective(float fieldOfView, float aspect, float nearPlane, float farPlane)
{
    // The parallel views pass 0; skip GLU rather than rely on its early return.
    if (fieldOfView == 0.0f) return;
    gluPerspective(fieldOfView, aspect, nearPlane, farPlane);
}

void drawImage2D(const Engine& engine, float aspect, uint32_t texture, float x, float y,
                 float width, float height, int32_t alphaFlag)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    perspective(0.0f, aspect, 0.0f, 5.0f);
    glTranslatef(-1.0f, 0.0f, 0.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    if (alphaFlag != 0) {
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.0f);
    }

    glTranslatef(x, -y, 0.0f);
    glScalef(width, height, 1.0f);
    glBindTexture(GL_TEXTURE_2D, texture);
    // Texture row 0 (the image's top row) along the quad's top edge.
    glBegin(GL_QUADS);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(0.0f, 1.0f, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, 0.0f, 0.0f);
    glEnd();

    if (alphaFlag != 0) glDisable(GL_ALPHA_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);

    applyCamera(engine.camera, aspect);
    glLoadIdentity();  // the quad's placement does not outlive the call
}

void drawCube(float x, float y, float z, float sx, float sy, float sz, float angleX, float angleY,
              float angleZ)
{
    glLoadIdentity();
    glTranslatef(x, y, z);
    glRotatef(angleX, 1.0f, 0.0f, 0.0f);
    glRotatef(angleY, 0.0f, 1.0f, 0.0f);
    glRotatef(angleZ, 0.0f, 0.0f, 1.0f);
    glScalef(sx, sy, sz);

    const CubeCorner* corners = cubeCorners.data();
    constexpr GLsizei stride = sizeof(CubeCorner);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, corners[0].position);
    glNormalPointer(GL_FLOAT, stride, corners[0].normal);
    glTexCoordPointer(2, GL_FLOAT, stride, corners[0].texCoord);
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(cubeCorners.size()));
    glPopClientAttrib();
    // Arrays leave the current normal and texture coordinate undefined; set
    // those of the cube's last corner, as corner-by-corner drawing would.
    const CubeCorner& last = cubeCorners.back();
    glNormal3f(last.normal[0], last.normal[1], last.normal[2]);
    glTexCoord2f(last.texCoord[0], last.texCoord[1]);
}
