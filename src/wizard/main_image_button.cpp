// The image buttons of the elements atlas: the wizard's Quit, Go Back and Continue, and
// the map's select-all and clear buttons.
#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_globals.h"
#include "wizard/main_engine.h"

namespace {
constexpr int kWhite = 103;  // set to white before drawing: the images keep their own colours
// The elements atlas is addressed as 1024 by 128 texels.
constexpr float kElementsS = 1024, kElementsT = 128;
constexpr float kHalfAlpha = 0.5f;
constexpr int kOneUnit = 1;
}  // namespace

int interface_rect(float x, float y, float u, float v, float w, float h, int hot, int style)
{
	colr.assign(kWhite, 1.0f, 1.0f, 1.0f);
	const bool inside = interface_rect_inside(x, y, w, h, mnw.mouse_x, mnw.mouse_y);
	v = interface_rect_row(v, h, hot, inside ? 1 : 0, mnw.mouse_held);
	const float alpha = style == wizard_disabled_style ? kHalfAlpha : 1.0f;
	const float s1 = u / kElementsS, s2 = (u + w) / kElementsS;
	const float t1 = v / kElementsT, t2 = (v + h) / kElementsT;
	OGL_2dquad(t_elements, kWhite, alpha, x, y, s1, t1, x, y + h, s1, t2, x + w, y + h, s2, t2, x + w, y, s2, t1,
	           kOneUnit, al_blend);
	return mnw.mouse_down && inside ? 1 : 0;
}
