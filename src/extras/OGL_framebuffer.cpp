#include "extras/OGL_framebuffer.h"

#include <GL/glext.h>

#include <cstdio>
#include <mutex>

#include "graphics/ogl_draw.h"
#include "graphics/tman.h"
#include "runtime/UTL_stat.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_glext.h"

namespace {

UTL_stat flush_per_frame("fbo/flush_per_frame", stat_per_frame, 0.0f);

constexpr int kColourEnumMask = 7;
constexpr int kDepthTexture = 6;
constexpr int kMipmapsFlag = 8;
// Scratch uploads: full resolution, sized internal format (renderable), built-in bit.
constexpr int kFboTexFlags = 0x1500;
constexpr int kBackTexFlags = 0x500;
const char* const kFboTexName = "scratch_array-fbo";
const char* const kBackTexName = "scratch_array-mTexID";

const char* const kIncomplete = "ERROR: incomplete framebuffer.";
const char* const kSource = "OGL_framebuffer";
constexpr int kIncompleteLine = 74;

}  // namespace

OGL_framebuffer::OGL_framebuffer(int ref, fbo_id f, int flags, int w, int h, unsigned long rb)
	: fbo(f), depth_rb(rb), saved_fbo(0), use_fbo(0), tex_ref(ref), tex_flags(flags), width(w), height(h),
	  act_width(w), act_height(h), saved_ortho{0, 0, 0, 0}, saved_offset_x(0), saved_width(0), saved_height(0)
{
}

void OGL_framebuffer::set_render_size(int w, int h)
{
	width = w;
	height = h;
}

bool OGL_framebuffer::fbo_path() const { return glExt.framebuf_avail && use_fbo; }

bool OGL_framebuffer::texture_is(int w, int h)
{
	std::lock_guard<std::recursive_mutex> hold(tman.lock);
	if (tex_ref < 0 || static_cast<size_t>(tex_ref) >= tman.ref_dat.size()) return false;
	const tman_class::ref_dat_struct& r = tman.ref_dat[tex_ref];
	return r.load_time == tex_loaded && r.img_dx == float(w) && r.img_dy == float(h);
}

bool OGL_framebuffer::attached_and_complete()
{
	const GLenum point =
		(tex_flags & kColourEnumMask) == kDepthTexture ? GL_DEPTH_ATTACHMENT_EXT : GL_COLOR_ATTACHMENT0_EXT;
	GLint type = 0, name = 0;
	glExt.glGetFramebufferAttachmentParameterivEXT(GL_FRAMEBUFFER_EXT, point,
	                                               GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE_EXT, &type);
	if (type != GL_TEXTURE) return false;
	glExt.glGetFramebufferAttachmentParameterivEXT(GL_FRAMEBUFFER_EXT, point,
	                                               GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, &name);
	return name == tex_ref && glExt.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
}

void OGL_framebuffer::attach()
{
	if ((tex_flags & kColourEnumMask) == kDepthTexture) {
		glDrawBuffer(GL_NONE);
		glReadBuffer(GL_NONE);
		glExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, tex_ref, 0);
		return;
	}
	glExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, tex_ref, 0);
	if (depth_rb) {
		glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depth_rb);
		glExt.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
		glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
	}
	glExt.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, depth_rb);
}

void OGL_framebuffer::check_complete()
{
	const GLenum status = glExt.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
	if (status == GL_FRAMEBUFFER_COMPLETE_EXT) return;
	char text[64];
	std::snprintf(text, sizeof text, "%f", double(status));
	__DIDIVI_alert(0, kIncomplete, text, "", "", t_exit, kSource, kIncompleteLine);
}

void OGL_framebuffer::begin_render(int use)
{
	// Nested, the first call's saved state is the one to come back to.
	const bool nested = rendering_ != 0;
	use_fbo = use;
	act_width = width;
	act_height = height;
	if (fbo_path()) {
		if (!nested) {
			GLint bound = 0;
			glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
			saved_fbo = bound;
		}
		glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
		if (!texture_is(width, height)) {
			scratch_dx = width;
			scratch_dy = height;
			tman.load_texture(tex_fail_fatal, tex_ref, tex_flags | kFboTexFlags, tex_loaded, kFboTexName);
			attach();
			check_complete();
		} else if (!attached_and_complete()) {
			// The texture is there but the framebuffer does not draw into it (another
			// owner re-attached it, or it was never complete): drawing would go nowhere.
			attach();
			check_complete();
		}
	} else {
		while (act_width > mnw.res_x && act_width > 1) act_width /= 2;
		while (act_height > mnw.res_y && act_height > 1) act_height /= 2;
		if (!texture_is(act_width, act_height)) {
			scratch_dx = act_width;
			scratch_dy = act_height;
			tman.load_texture(tex_fail_fatal, tex_ref, tex_flags | kBackTexFlags, tex_loaded, kBackTexName);
		}
	}
	if (!nested) {
		saved_ortho[0] = mnw.ortho_left;
		saved_ortho[1] = mnw.ortho_bottom;
		saved_ortho[2] = mnw.ortho_right;
		saved_ortho[3] = mnw.ortho_top;
		saved_offset_x = mnw.area_x;
		saved_width = float(mnw.res_x);
		saved_height = float(mnw.res_y);
	}
	rendering_ = 1;
	mnw.ortho_left = 0.0f;
	mnw.ortho_bottom = 0.0f;
	mnw.ortho_right = float(act_width);
	mnw.ortho_top = float(act_height);
	mnw.res_x = act_width;
	mnw.res_y = act_height;
	mnw.area_x = 0.0f;
	tman.reset_bind();
}

void OGL_framebuffer::end_render()
{
	flush_per_frame.own_value += 1.0f;
	mnw.ortho_left = saved_ortho[0];
	mnw.ortho_bottom = saved_ortho[1];
	mnw.ortho_right = saved_ortho[2];
	mnw.ortho_top = saved_ortho[3];
	mnw.area_x = saved_offset_x;
	mnw.res_x = int(saved_width);
	mnw.res_y = int(saved_height);
	rendering_ = 0;
	if (fbo_path()) {
		glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, saved_fbo);
		if (tex_flags & kMipmapsFlag) {
			OGL_setstate(fog_fals, 1, lit_fals, al_blend, deR_fals, deW_fals);
			tman.bind_ref(tex_ref, 0, 0);
			glExt.glGenerateMipmapEXT(GL_TEXTURE_2D);
		}
		return;
	}
	OGL_setstate(fog_fals, 1, lit_fals, al_blend, deR_fals, deW_fals);
	tman.bind_ref(tex_ref, 0, 0);
	glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, act_width, act_height);
}
