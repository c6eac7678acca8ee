// The about box's drawing, one frame at a time inside window 994 (420 by 250 units).
// It calls only the drawing layer and the widgets; until their definitions are built,
// nothing links this unit, and the box's logic (hl_mnw_about.cpp) stands on its own.
#include <string>

#include "graphics/ogl_draw.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math.h"
#include "runtime/hl_product.h"
#include "runtime/translate.h"
#include "shell/hl_mnw_about.h"
#include "widgets/btn.h"

namespace {

// The credits name the parts of the work, never a person.
const char* const kAboutCredits[] = {
    "Flight model, scenery and installer: the Corvane Labs team",
    "Global scenery: built from public elevation and coastline data",
    "Libraries: zlib, libpng, minizip, libarchive, libmd, SDL2, Mesa",
};

// Layout of the box, in interface units of window 994.
constexpr int text_colour = 43;
constexpr int charset = charset_UI_diff_space;
constexpr float title_y = 215.0f;
constexpr float credits_y = 185.0f;
constexpr float credits_step = 18.0f;
constexpr float message_y = 110.0f;
constexpr float address_y = 85.0f;
constexpr float buttons_y = 50.0f;
constexpr float close_y = 18.0f;
constexpr float wrap_share = 0.9f;
constexpr float button_side_offset = 100.0f;
constexpr int panel_style = 13;
constexpr int fill_kind = 21;
constexpr int align_centre = 1;

}  // namespace

int about_frame(about_state& st)
{
	const float mid = mnw.wind_dx / 2.0f;
	const float wrap = wrap_share * mnw.wind_dx;
	BTN_fillwin(1, fill_kind);
	BTN_subwin(0, panel_style, -1, 35, -1, -1, "", nullptr, nullptr);

	OGL_string(text_colour, mid, title_y, build_name[0], wrap, charset, align_centre);
	float y = credits_y;
	for (const char* c : kAboutCredits) {
		OGL_string(text_colour, mid, y, UTL_translate_string(c), wrap, charset, align_centre);
		y -= credits_step;
	}
	if (!st.message.empty()) OGL_string(text_colour, mid, message_y, st.message, wrap, charset, align_centre);
	OGL_string(text_colour, mid, address_y, maker_web_address, wrap, charset, align_centre);

	int pressed = 0;
	if (!st.button.empty()) pressed = BTN_action(mid - button_side_offset, buttons_y, 0, 0, 1, st.button, "-");
	const int web = BTN_action(mid + button_side_offset, buttons_y, 0, 0, 1, maker_web_address, "-");
	about_step(st, pressed);
	if (BTN_action(mid, close_y, 0, 0, 1, stls.ui_str[stls_alert_button], "-")) return 1;
	return web ? 2 : 0;
}
