// The drawing layer and the palette.
#include "graphics/colr.h"
#include "graphics/ogl_draw.h"
#include "platform/plat_window.h"
#include "runtime/hl_globals.h"
#include "support/fakes/fake_record.h"
#include "support/fakes/fakes.h"
#include "support/scripted_window.h"

#include <gtest/gtest.h>

using kx_fake::record;

colr_class colr;

void OGL_setstate(int fog, int tex, int lit, int alpha, int dr, int dw)
{
	record("OGL_setstate", {double(fog), double(tex), double(lit), double(alpha), double(dr), double(dw)});
}
void OGL_viewport(int mode, float, float, float, float, float, float, float, float, float, float, float, int)
{
	record("OGL_viewport", {double(mode)});
}
void OGL_pix_specs(int)
{
	mnw.ui_scale = mnw.ui_scale2 = 1.0f;
	record("OGL_pix_specs", {});
}
void OGL_nrml_colors() { record("OGL_nrml_colors", {}); }
void OGL_sbuff()
{
	record("OGL_sbuff", {});
	// A modal loop nobody answers fails its test here, whatever window it runs in.
	if (++kx_fake::g_frame > kx_fake::frame_budget) {
		ADD_FAILURE() << "more than " << kx_fake::frame_budget << " frames drawn";
		throw kx_test::FrameBudgetExceeded();
	}
	plat_gl_swap();
}
void OGL_plot_back_col() { record("OGL_plot_back_col", {}); }
void OGL_fillrect(int c, float a, float x, float y, float w, float h)
{
	record("OGL_fillrect", {double(c), a, x, y, w, h});
}
void OGL_line(int c, float a, float x1, float y1, float x2, float y2)
{
	record("OGL_line", {double(c), a, x1, y1, x2, y2});
}
void OGL_2dquad(int ref, int c, float a, float x1, float y1, float, float, float, float, float, float, float, float,
                float, float, float, float, float, float, int, int)
{
	record("OGL_2dquad", {double(ref), double(c), a, x1, y1});
}
float OGL_string(int c, float x, float y, const std::string& s, float wrap, int charset, int align)
{
	record("OGL_string", {double(c), x, y, wrap, double(charset), double(align)}, s);
	return y;
}
