// gl_texture.cpp: the owners of one OpenGL texture name and of one buffer
// object name.
#include "engine/engine.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

GlTexture::~GlTexture() { reset(); }

GlTexture& GlTexture::operator=(GlTexture&& other) noexcept
{
    if (this != &other) {
        reset(other.name_);
        other.name_ = 0;
    }
    return *this;
}

void GlTexture::reset(uint32_t name)
{
    if (name_ != 0) {
        const GLuint old = name_;
        glDeleteTextures(1, &old);
    }
    name_ = name;
}

GlBuffer::~GlBuffer() { reset(); }

GlBuffer& GlBuffer::operator=(GlBuffer&& other) noexcept
{
    if (this != &other) {
        reset(other.name_);
        other.name_ = 0;
    }
    return *this;
}

void GlBuffer::reset(uint32_t name)
{
    if (name_ != 0) {
        const GLuint old = name_;
        glDeleteBuffers(1, &old);
    }
    name_ = name;
}
