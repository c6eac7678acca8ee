// Stand-ins for the texture manager's binds and uploads, for drawing tests built before
// it exists. Every definition is weak: once the real unit is linked it wins and these
// drop out. They do the least the drawing layer needs: a ref is its GL name, and
// "scratch_array" uploads take the scratch image as RGBA.
#include <GL/gl.h>

#include <string>

#include "graphics/tman.h"
#include "runtime/hl_globals.h"

#define KX_WEAK __attribute__((weak))

KX_WEAK void tman_class::bind_ref(int ref, int unit, int mode)
{
	if (unit > 0) glActiveTexture(GL_TEXTURE0 + unit);
	glBindTexture(GL_TEXTURE_2D, GLuint(ref));
	glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode == 0 ? GL_MODULATE : mode);
	if (unit > 0) glActiveTexture(GL_TEXTURE0);
}

KX_WEAK int tman_class::load_texture(tex_fail_mode, int manual_ref, int, tex_load_time, const std::string& name)
{
	if (name.rfind("scratch_array", 0) != 0) return 0;
	glBindTexture(GL_TEXTURE_2D, GLuint(manual_ref));
	glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
	glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, scratch_dx, scratch_dy, 0, GL_RGBA, GL_UNSIGNED_BYTE, scratch_array);
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
	return manual_ref;
}
