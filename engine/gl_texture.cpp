// gl_texture.cpp: the owner of one OpenGL texture name.
#include "engine/engine.h"

#include <GL/gl.h>

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
