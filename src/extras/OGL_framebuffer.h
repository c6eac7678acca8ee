#pragma once
// Render-to-texture. Between begin_render and end_render drawing goes into a texture of
// the texture manager: through a framebuffer object whose colour (or depth) attachment
// is the texture, or, without framebuffer objects or when not wanted, into the back
// buffer, which end_render copies into the texture. While rendering, the window
// record's metrics describe the render target, so the 2-D drawing layer draws into it
// unchanged. The owner makes and deletes the framebuffer object and the depth
// renderbuffer.
#include <GL/gl.h>

using fbo_id = GLuint;

class OGL_framebuffer {
public:
	// tex_flags: texture manager flags; (flags & 7) == 6 a depth texture, flag 8 mipmaps
	// made after rendering. depth_rb: a renderbuffer for depth, 0 none.
	OGL_framebuffer(int tex_ref, fbo_id fbo, int tex_flags, int width, int height, unsigned long depth_rb);

	void set_render_size(int width, int height);
	void begin_render(int use_fbo);
	void end_render();

	fbo_id fbo;
	unsigned long depth_rb;
	int saved_fbo;  // framebuffer binding found at begin_render
	int use_fbo;
	int tex_ref;
	int tex_flags;
	int width, height;          // requested
	int act_width, act_height;  // rendered
	float saved_ortho[4];       // the window record's left, bottom, right, top
	float saved_offset_x;
	float saved_width, saved_height;

private:
	bool fbo_path() const;
	bool texture_is(int w, int h);
	bool attached_and_complete();
	void attach();
	void check_complete();
	int rendering_ = 0;  // between begin_render and end_render
};
