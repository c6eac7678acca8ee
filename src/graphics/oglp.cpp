// The drawing layer's state switch, colour rule, 2-D primitives, viewport set-up and
// 3-D helpers.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "graphics/xcam.h"
#include "runtime/UTL_stat.h"
#include "runtime/hl_globals.h"
#include "runtime/rec_glext.h"
#include "runtime/xtim.h"

int num_units = 1;

namespace {

UTL_stat num_xdl_bind("num_xdl_bind", stat_per_frame, 0.0f);
UTL_stat num_xdl_bind_ind("num_xdl_bind_ind", stat_per_frame, 0.0f);

// Palette entries up to this one follow the light levels.
constexpr int last_lit_colour = 45;
// Above this the global alpha counts as opaque.
constexpr double opaque_alpha = 0.99;
// Night mode's floor for the green channel.
constexpr float night_min_green = 0.01f;
// OGL_setstate's loops cover at most this many units.
constexpr int max_state_units = 8;
constexpr int grayrect_colour = 12;
constexpr int combine_17_ref = 418;
constexpr int combine_17_mode = 17;
constexpr float pixel_centre = 0.5f;
constexpr float poly_offset_factor = -10.0f, poly_offset_units = -1.0f;
constexpr float spec_shininess = 128.0f;
// OGL_framecircle: a point every 5 degrees, 73 points around.
constexpr int circle_step_deg = 5, circle_points = 73;
// The 2-D interface's orthographic depth range.
constexpr double ortho_near = -1.0, ortho_far = 1.0;
constexpr float ui_centre_y = 384.0f;
constexpr int ui_area_w = 1024, ui_area_h = 768;

// The state OGL_setstate last applied; `known` is false until it has asked GL once.
struct cached_state {
	bool known = false;
	int o_fog = 0, o_tex = 0, o_lit = 0, o_alB = 0, o_alT = 0, o_deR = 0;
	int o_deW = deW_fals;  // never asked of GL
};
cached_state cache;

void default_swap() { glFlush(); }
ogl_swap_fn swap_hook = default_swap;

// Sine and cosine of the whole degrees 0..360, the resolution OGL_framecircle draws at.
struct degree_table {
	std::array<float, 361> sin_d, cos_d;
	degree_table()
	{
		for (int i = 0; i <= 360; ++i) {
			sin_d[i] = std::sin(float(i) * degtorad);
			cos_d[i] = std::cos(float(i) * degtorad);
		}
	}
};

void active_unit(int k) { glActiveTexture(GL_TEXTURE0 + k); }

void set_unit_enabled(int k, bool on)
{
	active_unit(k);
	on ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D);
}

void vertex_2d(float x, float y) { glVertex2f(x + mnw.dialog_x, y + mnw.dialog_y); }

void set_cap(GLenum cap, bool on) { on ? glEnable(cap) : glDisable(cap); }

}  // namespace

// --- state ---

void OGL_setstate_forget() { cache = cached_state(); }

void OGL_setstate(int fog, int tex_units, int lit, int alpha, int depth_read, int depth_write)
{
	if (!cache.known) {
		cache.known = true;
		cache.o_fog = glIsEnabled(GL_FOG) ? fog_true : fog_fals;
		cache.o_tex = glIsEnabled(GL_TEXTURE_2D) ? num_units : 0;
		cache.o_lit = glIsEnabled(GL_LIGHTING) ? lit_true : lit_fals;
		cache.o_alB = glIsEnabled(GL_BLEND) ? 1 : 0;
		cache.o_alT = glIsEnabled(GL_ALPHA_TEST) ? 1 : 0;
		cache.o_deR = glIsEnabled(GL_DEPTH_TEST) ? deR_true : deR_fals;
	}
	if (fog != cache.o_fog) set_cap(GL_FOG, fog == fog_true);

	int units = cache.o_tex;
	if (tex_units != cache.o_tex) {
		set_cap(GL_TEXTURE_2D, tex_units >= 1);
		units = std::clamp(tex_units, 0, std::max(ren.tex_units, 0));
		num_units = units;
		if (units >= 2 || cache.o_tex >= 2) {
			for (int k = 0; k < max_state_units; ++k)
				if (k >= cache.o_tex && k < units) set_unit_enabled(k, true);
			for (int k = 0; k < max_state_units; ++k)
				if (k < cache.o_tex && k >= units) set_unit_enabled(k, false);
			active_unit(0);
		}
	}

	if (lit != cache.o_lit) {
		set_cap(GL_LIGHTING, lit == lit_true);
		set_cap(GL_LIGHT0, lit == lit_true);
	}

	const bool want_blend = alpha == al_blend || alpha == al_both;
	const bool want_test = alpha == al_test || alpha == al_both;
	if (alpha >= al_none && alpha <= al_both) {
		if (want_blend != bool(cache.o_alB)) set_cap(GL_BLEND, want_blend);
		if (want_test != bool(cache.o_alT)) set_cap(GL_ALPHA_TEST, want_test);
	}

	if (depth_read != cache.o_deR) set_cap(GL_DEPTH_TEST, depth_read == deR_true);
	if (depth_write != cache.o_deW) glDepthMask(depth_write == deW_true ? GL_TRUE : GL_FALSE);

	cache.o_fog = fog;
	cache.o_tex = units;
	cache.o_lit = lit;
	cache.o_alB = want_blend;
	cache.o_alT = want_test;
	cache.o_deR = depth_read;
	cache.o_deW = depth_write;
}

void OGL_default_gl_state(int alias_now)
{
	const GLfloat no_ambient[4] = {0, 0, 0, 0};
	glLightModelfv(GL_LIGHT_MODEL_AMBIENT, no_ambient);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
	glAlphaFunc(GL_GREATER, 0.0f);
	glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
	glDepthFunc(GL_LEQUAL);
	glFogi(GL_FOG_MODE, GL_LINEAR);
	glHint(GL_FOG_HINT, GL_FASTEST);
	glFrontFace(GL_CW);
	glCullFace(GL_BACK);
	glEnable(GL_CULL_FACE);
	glShadeModel(GL_SMOOTH);
	glEnable(GL_DITHER);
	glDisable(GL_COLOR_LOGIC_OP);
	glDisable(GL_STENCIL_TEST);
	glDisable(GL_TEXTURE_1D);
	glDisable(GL_NORMALIZE);
	glDisable(GL_SCISSOR_TEST);
	glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
	glEnable(GL_COLOR_MATERIAL);
	set_cap(GL_MULTISAMPLE, alias_now > 0);
	glDepthMask(GL_FALSE);
}

void OGL_bind_vbo(const unsigned long& id)
{
	static unsigned long last_vbo = 0;
	if (id == last_vbo) return;
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, GLuint(id));
	num_xdl_bind.own_value += 1;
	last_vbo = id;
}

void OGL_bind_vbo_ind(const unsigned long& id)
{
	static unsigned long last_vbo = 0;
	if (id == last_vbo) return;
	glExt.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, GLuint(id));
	num_xdl_bind_ind.own_value += 1;
	last_vbo = id;
}

// --- colour ---

ogl_rgba OGL_palette_rgba(int colour, float alpha)
{
	ogl_rgba c{0, 0, 0, 0, false};
	if (colour >= 0 && colour < colr_palette_size) {
		c.r = colr.palette[colour][0];
		c.g = colr.palette[colour][1];
		c.b = colr.palette[colour][2];
	}
	if (colour <= last_lit_colour) {
		c.r *= colr.lites[0];
		c.g *= colr.lites[1];
		c.b *= colr.lites[2];
	}
	c.a = alpha * ren.global_alpha;
	if (ren.night_mode) {
		const float s = c.r + c.g + c.b;
		c.g = s < night_min_green ? night_min_green : std::min(s, 1.0f);
		c.r = c.b = 0;
	}
	c.four = !(double(c.a) > opaque_alpha);
	return c;
}

void OGL_palette_colour(int colour, float alpha)
{
	const ogl_rgba c = OGL_palette_rgba(colour, alpha);
	// A three-component colour leaves GL's alpha at 1.0.
	if (c.four)
		glColor4f(c.r, c.g, c.b, c.a);
	else
		glColor3f(c.r, c.g, c.b);
}

// --- set-up ---

void OGL_viewport(int mode, float left, float vp_x, float bottom, float vp_y, float right, float vp_right,
                  float near_d, float top, float vp_top, float far_d, float divisor, int keep_aspect)
{
	if (mode == 2) {
		left = mnw.ortho_left;
		bottom = mnw.ortho_bottom;
		right = mnw.ortho_right;
		top = mnw.ortho_top;
		vp_x = vp_y = 0;
		vp_right = float(mnw.res_x);
		vp_top = float(mnw.res_y);
	} else if (mode == 3) {
		left *= near_d;
		bottom *= near_d;
		right *= near_d;
		top *= near_d;
		vp_x *= mnw.ui_scale;
		vp_y *= mnw.ui_scale;
		vp_right *= mnw.ui_scale;
		vp_top *= mnw.ui_scale;
	}
	// A viewport of no width has no aspect to keep.
	if (keep_aspect && vp_right - vp_x != 0) {
		const float aspect = (vp_top - vp_y) / (vp_right - vp_x);
		bottom *= aspect;
		top *= aspect;
	}
	glMatrixMode(GL_PROJECTION);
	glLoadIdentity();
	if (mode == 2)
		xcam.SetupOrtho(left / divisor, right / divisor, bottom / divisor, top / divisor, ortho_near, ortho_far);
	else if (mode == 3)
		xcam.SetupFrustum(left / divisor, right / divisor, bottom / divisor, top / divisor, near_d, far_d);
	glViewport(int(vp_x), int(vp_y), int(vp_right - vp_x), int(vp_top - vp_y));
	xcam.Identity();
	glLoadMatrixd(xcam.projection);
	glMatrixMode(GL_MODELVIEW);
	glLoadMatrixd(xcam.modelview);
	xcam.read_back = false;
}

void OGL_screensize(int mode, float x1, float y1, float x2, float y2)
{
	if (mode == 2) {
		glViewport(0, 0, mnw.res_x, mnw.res_y);
		return;
	}
	if (mode == 3) {
		x1 *= mnw.ui_scale;
		y1 *= mnw.ui_scale;
		x2 *= mnw.ui_scale;
		y2 *= mnw.ui_scale;
	}
	glViewport(int(x1), int(y1), int(x2 - x1), int(y2 - y1));
}

void OGL_pix_specs(int)
{
	mnw.ui_scale = 1.0f;
	mnw.ui_scale2 = 1.0f;
	mnw.ortho_left = 0;
	mnw.ortho_bottom = 0;
	mnw.ortho_right = float(mnw.res_x);
	mnw.ortho_top = float(mnw.res_y);
	mnw.area_y = float(std::max(0, mnw.res_y - ui_area_h));
	mnw.area_x = mnw.current_window == -1 ? 0.0f : float(std::max(0, (mnw.res_x - ui_area_w) / 2));
	mnw.center_x = float(mnw.res_x) / 2;
	mnw.center_y = ui_centre_y;
	if (mnw.current_window >= 0) OGL_viewport(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0);
}

void OGL_scissors(float x, float y, float w, float h)
{
	const float xs = x + mnw.dialog_x, ys = y + mnw.dialog_y, s = mnw.ui_scale;
	const int wd = int((xs + w) * s - xs * s), ht = int((ys + h) * s - ys * s);
	glEnable(GL_SCISSOR_TEST);
	glScissor(int(xs * s), int(ys * s), std::max(wd, 0), std::max(ht, 0));
}

void OGL_scissors_end() { glDisable(GL_SCISSOR_TEST); }

void OGL_glow_colors() { glBlendFunc(GL_SRC_ALPHA, GL_ONE); }

void OGL_nrml_colors() { glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); }

void OGL_poly_offset(int n)
{
	if (n != 0) {
		glEnable(GL_POLYGON_OFFSET_FILL);
		glPolygonOffset(float(n) * poly_offset_factor, poly_offset_units);
	} else {
		glDisable(GL_POLYGON_OFFSET_FILL);
	}
}

void OGL_setspec(float s)
{
	const GLfloat spec[4] = {s, s, s, 1.0f};
	glLightfv(GL_LIGHT0, GL_SPECULAR, spec);
	glMaterialfv(GL_FRONT, GL_SPECULAR, spec);
	glMaterialf(GL_FRONT, GL_SHININESS, spec_shininess);
}

ogl_swap_fn OGL_set_swap_hook(ogl_swap_fn f)
{
	ogl_swap_fn old = swap_hook;
	swap_hook = f ? f : default_swap;
	return old;
}

void OGL_sbuff()
{
	if (ren.night_mode)
		glColor4f(0, 1, 0, ren.global_alpha);
	else
		glColor4f(1, 1, 1, ren.global_alpha);
	xtim.profile_chart("sb1", 0);
	swap_hook();
	xtim.profile_chart("sb2", 0);
}

void OGL_printer() {}

// --- 2-D primitives ---

void OGL_fillrect(int colour, float alpha, float x, float y, float w, float h)
{
	OGL_setstate(fog_fals, 0, lit_fals, al_blend, deR_fals, deW_fals);
	OGL_palette_colour(colour, alpha);
	glBegin(GL_QUADS);
	vertex_2d(x, y);
	vertex_2d(x, y + h);
	vertex_2d(x + w, y + h);
	vertex_2d(x + w, y);
	glEnd();
}

void OGL_framerect(int colour, float alpha, float x, float y, float w, float h)
{
	OGL_setstate(fog_fals, 0, lit_fals, al_blend, deR_fals, deW_fals);
	OGL_palette_colour(colour, alpha);
	// The outline through the pixel centres x .. x + w and y .. y + h. A line leaves out
	// its last pixel, so a line loop loses a corner on some renderers; the border is
	// drawn as one-pixel strips instead, each pixel once (a half-alpha frame stays even).
	const float x1 = std::min(x, x + w), x2 = std::max(x, x + w);
	const float y1 = std::min(y, y + h), y2 = std::max(y, y + h);
	auto strip = [](float ax, float ay, float bx, float by) {
		vertex_2d(ax, ay);
		vertex_2d(ax, by);
		vertex_2d(bx, by);
		vertex_2d(bx, ay);
	};
	glBegin(GL_QUADS);
	strip(x1, y1, x2 + 1, y1 + 1);
	if (y2 > y1) strip(x1, y2, x2 + 1, y2 + 1);
	if (y2 - y1 > 1) {
		strip(x1, y1 + 1, x1 + 1, y2);
		if (x2 > x1) strip(x2, y1 + 1, x2 + 1, y2);
	}
	glEnd();
}

void OGL_grayrect(float x1, float y1, float x2, float y2, float alpha)
{
	OGL_setstate(fog_fals, 0, lit_fals, al_blend, deR_fals, deW_fals);
	OGL_palette_colour(grayrect_colour, alpha);
	glBegin(GL_QUADS);
	vertex_2d(x1, y1);
	vertex_2d(x1, y2);
	vertex_2d(x2, y2);
	vertex_2d(x2, y1);
	glEnd();
}

void OGL_line(int colour, float alpha, float x1, float y1, float x2, float y2)
{
	OGL_setstate(fog_fals, 0, lit_fals, al_blend, deR_fals, deW_fals);
	OGL_palette_colour(colour, alpha);
	glBegin(GL_LINES);
	vertex_2d(x1 + pixel_centre, y1 + pixel_centre);
	vertex_2d(x2 + pixel_centre, y2 + pixel_centre);
	glEnd();
}

void OGL_fillcircle(int colour, float x, float y, float r)
{
	// A line leaves out its last pixel: each span runs one unit past x + w, so that the
	// circle is as wide on the right as on the left and the top and bottom rows, whose
	// span has no width, still show their pixel.
	for (float d = -r; d <= r; d += 1) {
		const float w = std::sqrt(std::max(r * r - d * d, 0.0f));
		OGL_line(colour, 1.0f, x - w, y + d, x + w + 1, y + d);
	}
}

void OGL_framecircle(int colour, float x, float y, float r)
{
	static const degree_table deg;
	OGL_setstate(fog_fals, 0, lit_fals, al_none, deR_fals, deW_fals);
	OGL_palette_colour(colour, 1.0f);
	glBegin(GL_LINE_STRIP);
	for (int i = 0; i < circle_points; ++i) {
		const int a = i * circle_step_deg;
		vertex_2d(x + r * deg.sin_d[a] + pixel_centre, y + r * deg.cos_d[a] + pixel_centre);
	}
	glEnd();
}

void OGL_arc(int colour, float x, float y, float r_in, float r_out, float a_start, float a_end)
{
	OGL_palette_colour(colour, 1.0f);
	for (float r = r_in; r <= r_out; r += 1) {
		float px = x + r * std::sin(a_start * degtorad), py = y + r * std::cos(a_start * degtorad);
		for (float a = a_start; a <= a_end; a += 1) {
			const float nx = x + r * std::sin(a * degtorad), ny = y + r * std::cos(a * degtorad);
			OGL_line(colour, 1.0f, px, py, nx, ny);
			px = nx;
			py = ny;
		}
	}
}

void OGL_2dquad(int tex_ref, int colour, float alpha, float x1, float y1, float s1, float t1, float x2, float y2,
                float s2, float t2, float x3, float y3, float s3, float t3, float x4, float y4, float s4, float t4,
                int tex_units, int alpha_mode)
{
	OGL_setstate(fog_fals, tex_units, lit_fals, alpha_mode, deR_fals, deW_fals);
	if (tex_ref > 0) tman.bind_ref(tex_ref, 0, tex_ref == combine_17_ref ? combine_17_mode : 0);
	OGL_palette_colour(colour, alpha);
	glBegin(GL_QUADS);
	glTexCoord2f(s1, t1);
	vertex_2d(x1, y1);
	glTexCoord2f(s2, t2);
	vertex_2d(x2, y2);
	glTexCoord2f(s3, t3);
	vertex_2d(x3, y3);
	glTexCoord2f(s4, t4);
	vertex_2d(x4, y4);
	glEnd();
}

void OGL_2dquad_d(int tex_ref, int colour, float alpha, float x, float y, float s, float t, float w, float h,
                  float ds, float dt, int alpha_mode)
{
	OGL_setstate(fog_fals, 1, lit_fals, alpha_mode, deR_fals, deW_fals);
	if (tex_ref > 0) tman.bind_ref(tex_ref, 0, 0);
	OGL_palette_colour(colour, alpha);
	glBegin(GL_QUADS);
	glTexCoord2f(s, t);
	vertex_2d(x, y);
	glTexCoord2f(s, t + dt);
	vertex_2d(x, y + h);
	glTexCoord2f(s + ds, t + dt);
	vertex_2d(x + w, y + h);
	glTexCoord2f(s + ds, t);
	vertex_2d(x + w, y);
	glEnd();
}

// --- 3-D helpers ---

namespace {

// (p2 - p1) x (p1 - p0), normalised; straight up when the quad has no area.
void quad_normal(const float* p0, const float* p1, const float* p2)
{
	const float a[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
	const float b[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
	float n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
	const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
	if (len == 0) {
		glNormal3f(0, 1, 0);
		return;
	}
	glNormal3f(n[0] / len, n[1] / len, n[2] / len);
}

constexpr float st11[2] = {1, 1}, st10[2] = {1, 0}, st00[2] = {0, 0}, st01[2] = {0, 1};
// OGL_disc: the hub's share of the radius, and its rim of 13 points every 30 degrees.
constexpr float disc_hub = 0.38f;
constexpr int disc_points = 13, disc_step_deg = 30;

}  // namespace

void OGL_3dline(float x1, float y1, float z1, float x2, float y2, float z2)
{
	glVertex3f(x1, y1, z1);
	glVertex3f(x2, y2, z2);
}

void OGL_3dquad(const float* p0, const float* p1, const float* p2, const float* p3)
{
	quad_normal(p0, p1, p2);
	glTexCoord2fv(st11);
	glVertex3fv(p0);
	glTexCoord2fv(st10);
	glVertex3fv(p1);
	glTexCoord2fv(st00);
	glVertex3fv(p2);
	glTexCoord2fv(st01);
	glVertex3fv(p3);
}

void OGL_3dquad_st(const float* p0, const float* p1, const float* p2, const float* p3, float s1, float t1, float s2,
                   float t2)
{
	quad_normal(p0, p1, p2);
	glTexCoord2f(s1, t1);
	glVertex3fv(p0);
	glTexCoord2f(s1, t2);
	glVertex3fv(p1);
	glTexCoord2f(s2, t2);
	glVertex3fv(p2);
	glTexCoord2f(s2, t1);
	glVertex3fv(p3);
}

void OGL_cube(float x, float y, float z, float w, float h, float d, float s1, float s2, float t1, float t2,
              float heading)
{
	const float hw = w / 2, hd = d / 2;
	glPushMatrix();
	glTranslatef(x, y, z);
	glRotatef(-heading, 0, 0, 1);
	struct edge {
		float x, z, s, nx, nz;
	};
	const edge sides[5] = {
		{-hw, -hd, s1, 0, -1}, {hw, -hd, s2, 0, -1}, {hw, hd, s1, 1, 0}, {-hw, hd, s2, 0, 1}, {-hw, -hd, s1, -1, 0},
	};
	glBegin(GL_QUAD_STRIP);
	for (const edge& e : sides) {
		glNormal3f(e.nx, 0, e.nz);
		glTexCoord2f(e.s, t2);
		glVertex3f(e.x, h, e.z);
		glTexCoord2f(e.s, t1);
		glVertex3f(e.x, 0, e.z);
	}
	glEnd();
	glBegin(GL_QUADS);
	glNormal3f(0, 1, 0);
	glTexCoord2f(s1, t2);
	glVertex3f(-hw, h, -hd);
	glTexCoord2f(s2, t2);
	glVertex3f(hw, h, -hd);
	glTexCoord2f(s2, t2);
	glVertex3f(hw, h, hd);
	glTexCoord2f(s1, t2);
	glVertex3f(-hw, h, hd);
	glNormal3f(0, -1, 0);
	glTexCoord2f(s1, t1);
	glVertex3f(-hw, 0, hd);
	glTexCoord2f(s2, t1);
	glVertex3f(hw, 0, hd);
	glTexCoord2f(s2, t1);
	glVertex3f(hw, 0, -hd);
	glTexCoord2f(s1, t1);
	glVertex3f(-hw, 0, -hd);
	glEnd();
	glPopMatrix();
}

void OGL_disc(float x, float y, float z, float r)
{
	const float q = disc_hub * r;
	float cs[disc_points], sn[disc_points];
	for (int i = 0; i < disc_points; ++i) {
		const float a = float(i * disc_step_deg) * degtorad;
		cs[i] = std::cos(a);
		sn[i] = std::sin(a);
	}
	glPushMatrix();
	glTranslatef(x, y, z);
	for (float side : {-1.0f, 1.0f}) {
		glBegin(GL_TRIANGLE_FAN);
		glNormal3f(side, 0, 0);
		glVertex3f(side * r, 0, 0);
		for (int i = 0; i < disc_points; ++i) glVertex3f(side * r, q * cs[i], -q * sn[i]);
		glEnd();
	}
	// Three bands: hub to tyre, the tread, tyre back to the hub.
	const float bands[3][4] = {{-r, q, -q, r}, {-q, r, q, r}, {q, r, r, q}};
	for (const auto& b : bands) {
		glBegin(GL_QUAD_STRIP);
		for (int i = 0; i < disc_points; ++i) {
			glVertex3f(b[0], b[1] * cs[i], -b[1] * sn[i]);
			glVertex3f(b[2], b[3] * cs[i], -b[3] * sn[i]);
		}
		glEnd();
	}
	glPopMatrix();
}

void OGL_spectrum_rgb(float x)
{
	static const float col_r[7] = {0, 1, 1, 1, 0, 0, 0.8f};
	static const float col_g[7] = {0, 0, 0.32f, 1, 1, 0, 0};
	static const float col_b[7] = {0, 0, 0.08f, 0, 0, 1, 0.8f};
	constexpr int segments = 6;
	float r = 0, g = 0, b = 0;
	if (x >= 0) {
		x = std::min(x, 1.0f);
		const int k = std::min(int(x * segments), segments - 1);
		const float f = (x - float(k) / segments) * segments;
		r = col_r[k] * (1 - f) + col_r[k + 1] * f;
		g = col_g[k] * (1 - f) + col_g[k + 1] * f;
		b = col_b[k] * (1 - f) + col_b[k + 1] * f;
	}
	if (ren.night_mode) {
		const float s = r + g + b;
		g = std::clamp(s, night_min_green, 1.0f);
		r = b = 0;
	}
	glColor4f(r, g, b, ren.global_alpha);
}
