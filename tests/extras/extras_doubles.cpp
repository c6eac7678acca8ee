#include "extras_doubles.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/rec_glext.h"
#include "widgets/btn.h"

#define KX_DOUBLE __attribute__((weak))

namespace kx_doubles {

calls rec;

void reset()
{
	rec = calls();
	// The drawing layer's swap goes to the counter: there is no window to swap.
	OGL_set_swap_hook([] { ++rec.swaps; });
	// Start-up points the scratch image at its storage; the real texture manager reads it.
	if (!scratch_array) {
		auto at = reinterpret_cast<std::uintptr_t>(scratch_array_storage);
		scratch_array = scratch_array_storage + ((16 - at % 16) % 16);
	}
}

}  // namespace kx_doubles

using kx_doubles::rec;

namespace {

int pow2_at_least(int v)
{
	int p = 1;
	while (p < v) p *= 2;
	return p;
}

}  // namespace

KX_DOUBLE int tman_class::load_texture(tex_fail_mode fail_mode, int ref, int flags, tex_load_time load_time,
                                       const std::string& name)
{
	++rec.tex_loads;
	rec.load_flags.push_back(flags);
	if (ref_dat.size() <= static_cast<size_t>(ref)) ref_dat.resize(ref + 1);
	ref_dat_struct& r = ref_dat[ref];
	const int w = scratch_dx, h = scratch_dy;
	const int tw = (flags & 0x2000) ? w : pow2_at_least(w), th = (flags & 0x2000) ? h : pow2_at_least(h);
	GLenum format = GL_RGB, internal = (flags & 0x1000) ? GL_RGB8 : GL_RGB;
	switch (flags & 7) {
	case 2: format = GL_RGBA; internal = (flags & 0x1000) ? GL_RGBA8 : GL_RGBA; break;
	case 3: format = internal = GL_ALPHA; break;
	case 6: format = GL_DEPTH_COMPONENT; internal = GL_DEPTH_COMPONENT24; break;
	default: break;
	}
	r.name = name;
	r.tex_id = ref;
	r.img_dx = float(w);
	r.img_dy = float(h);
	r.tex_dx = float(tw);
	r.tex_dy = float(th);
	r.gl_format = format;
	r.load_time = load_time;
	r.flags = flags;
	r.fail_mode = fail_mode;
	r.ref_count = -1;
	if (!rec.gl_live) return ref;
	glBindTexture(GL_TEXTURE_2D, ref);
	const GLenum type = format == GL_DEPTH_COMPONENT ? GL_UNSIGNED_INT : GL_UNSIGNED_BYTE;
	int level = 0;
	for (int lw = tw, lh = th;; lw = lw > 1 ? lw / 2 : 1, lh = lh > 1 ? lh / 2 : 1) {
		glTexImage2D(GL_TEXTURE_2D, level++, internal, lw, lh, 0, format, type, nullptr);
		if (!(flags & 8) || (lw == 1 && lh == 1)) break;
	}
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, (flags & 8) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
	return ref;
}

KX_DOUBLE void tman_class::unload_texture(int ref)
{
	++rec.tex_unloads;
	if (static_cast<size_t>(ref) < ref_dat.size()) ref_dat[ref] = ref_dat_struct();
	if (rec.gl_live) {
		GLuint name = ref;
		glDeleteTextures(1, &name);
	}
}

KX_DOUBLE void tman_class::bind_ref(int ref, int unit, int)
{
	if (ref == t_interface) ++rec.text_binds;
	if (!rec.gl_live) return;
	(void)unit;  // the extras bind on unit 0 only
	glBindTexture(GL_TEXTURE_2D, static_cast<size_t>(ref) < ref_dat.size() ? ref_dat[ref].tex_id : 0);
}

KX_DOUBLE void tman_class::reset_bind() { ++rec.reset_binds; }

KX_DOUBLE void BTN_fillwin(int flag, int kind)
{
	rec.widgets.push_back("BTN_fillwin " + std::to_string(flag) + " " + std::to_string(kind));
}

KX_DOUBLE void BTN_subwin(float, int style, float, float, float, float height, std::string, float*, float*)
{
	rec.widgets.push_back("BTN_subwin " + std::to_string(style) + " " + std::to_string(int(height)));
}

KX_DOUBLE int BTN_flt_range(float x, float y, float*, int digits, int, float, float, std::string)
{
	rec.widgets.push_back("BTN_flt_range " + std::to_string(int(x)) + " " + std::to_string(int(y)) + " " +
	                      std::to_string(digits));
	return 0;
}

KX_DOUBLE int BTN_int_range(float x, float y, int*, int digits, float, float, std::string)
{
	rec.widgets.push_back("BTN_int_range " + std::to_string(int(x)) + " " + std::to_string(int(y)) + " " +
	                      std::to_string(digits));
	return 0;
}
