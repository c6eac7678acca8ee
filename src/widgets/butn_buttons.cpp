// Push buttons, check boxes and radio buttons: one call a frame draws the widget and
// reports a click made on it in this frame.
#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"

namespace {

constexpr int kButtonUp = btn_bar_button_up, kButtonDown = 3;
constexpr float kButtonHalfHeight = 10;
constexpr float kTextDrop = 3;
constexpr int kHighlightMode = 2;
constexpr int kSideColour = 45;
constexpr float kSideGap = 10, kSideRise = 7, kSideWrap = 500;
constexpr const char* kNoSideText = "-";

// Check box and radio cells on the interface atlas: 18 by 18, centred 3 above y.
constexpr float kCellHalf = btn_bool_cell_half, kCellRise = btn_bool_cell_rise;
struct cell_pair {
	float box_s, box_t, mark_s, mark_t;
};
constexpr cell_pair kCheckCells = {148, 187, 148, 206};
constexpr cell_pair kRadioCells = {92, 132, 92, 151};
constexpr float kBoxLabelGap = 12;
// Where the box takes the mouse.
constexpr float kBoxHitHalfWidth = 8, kBoxHitBelow = 4, kBoxHitAbove = 12;

}  // namespace

int BTN_action(float x, float y, float width, int down, int mode, std::string label, std::string side_text)
{
	BTN_label l = BTN_split_label(label);
	width = BTN_action_width(width, label);

	BTN_frame1(kButtonUp, x, y, width, 0);
	if (down) BTN_frame1(kButtonDown, x, y, width, 0);
	BTN_util_draw_label(x, y - kTextDrop, 1, l.text, mode == kHighlightMode && down);
	if (side_text != kNoSideText)
		OGL_string(kSideColour, x + width / 2 + kSideGap, y + kSideRise, side_text, kSideWrap, charset_UI_diff_space, 0);

	if (!BTN_clicked(BTN_box_around(x, y, width / 2, kButtonHalfHeight))) return 0;
	if (!down && mode) {
		// Show the press before the caller acts on it: it may take a while.
		BTN_frame1(kButtonDown, x, y, width, 0);
		BTN_util_draw_label(x, y - kTextDrop, 1, l.text, 0);
		OGL_sbuff();
	}
	return 1;
}

int BTN_bool(float x, float y, int* value, std::string label, int radio)
{
	BTN_label l = BTN_split_label(label);
	const cell_pair& cells = radio ? kRadioCells : kCheckCells;
	BTN_util_element(x, y + kCellRise, cells.box_s, cells.box_t, kCellHalf, kCellHalf, 0);
	if (*value) BTN_util_element(x, y + kCellRise, cells.mark_s, cells.mark_t, kCellHalf, kCellHalf, 0);
	BTN_util_draw_label(x - kBoxLabelGap, y, 0, l.text, 0);
	BTN_util_draw_label(x + kBoxLabelGap, y, 2, l.mid, 0);

	BTN_box hit{x - kBoxHitHalfWidth, y - kBoxHitBelow, x + kBoxHitHalfWidth, y + kBoxHitAbove};
	if (!BTN_hover_help(hit, l.tail) || !mnw.mouse_down) return 0;
	*value = *value == 0 ? 1 : 0;
	return 1;
}

namespace {
// A check box over another value type: through an int and back.
template <class Write>
int bool_through_int(float x, float y, int v, const std::string& label, Write write_back)
{
	int r = BTN_bool(x, y, &v, label, 0);
	write_back(v);
	return r;
}
}  // namespace

int BTN_xbol(float x, float y, bool* value, std::string label)
{
	return bool_through_int(x, y, *value ? 1 : 0, label, [&](int v) { *value = v != 0; });
}

int BTN_xchr(float x, float y, char* value, std::string label)
{
	return bool_through_int(x, y, int(*value), label, [&](int v) { *value = char(v & 0xFF); });
}

int BTN_xbyt(float x, float y, unsigned char* value, std::string label)
{
	return bool_through_int(x, y, int(*value), label, [&](int v) { *value = (unsigned char)(v & 0xFF); });
}

int BTN_is_int(float x, float y, int* value, int option, std::string label)
{
	int on = *value == option ? 1 : 0;
	int r = BTN_bool(x, y, &on, label, 1);
	if (on) *value = option;
	return r;
}
