// The two sliders: a vertical scroll bar over an int that can be grabbed by its thumb,
// and a horizontal track over a float with a fill bar and a knob. Only the vertical
// slider keeps anything between frames: whether its thumb is held.
#include <algorithm>
#include <cmath>

#include "graphics/oglp.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/xtim.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"

int slider_grabbed[btn_slider_count];

namespace {

constexpr int kTroughStyle = 6;
constexpr float kThumbTopInset = 10, kThumbBottomInset = 9;
constexpr float kGrabHalf = 11;       // the thumb's and the arrows' hit half-width
constexpr float kDragOvershoot = 11;  // the drag maps top - 11 .. bottom + 11 onto min .. max
constexpr float kArrowReach = 20;
constexpr int kPageStep = 10;
constexpr int kTickInterval = 5;  // the frame clock's 0.2-second flag

// Sprites of the vertical slider on the interface atlas, 18 wide.
constexpr float kSpriteS = 92, kSpriteHalfW = 9;
struct sprite_row {
	float t, half_h;
};
constexpr sprite_row kUpArrow = {277, 11}, kThumb = {252, 12}, kDownArrow = {227, 11};
constexpr float kUpArrowRise = 8, kDownArrowDrop = 10;
constexpr int kGrabbedColour = 47;

// Horizontal slider.
constexpr int kTrackStyle = 7, kFillStyle = 8, kNoFill = 12;
constexpr float kLabelGap = 8;
constexpr float kHelpHalfHeight = 7;
constexpr float kCaptionRise = 10, kCaptionWrap = 9999;
constexpr int kCaptionColour = 43;
constexpr float kMouseReach = 20;
constexpr float kFillRise = 4;
constexpr float kMinSpan = 0.01f;
constexpr float kKnobS = 272, kKnobT = 278, kKnobHalfW = 10, kKnobHalfH = 11, kKnobRise = 2;

}  // namespace

int BTN_vert_slider(int index, float x, float bottom, float top, int min, int max, int* value)
{
	BTN_frame0(kTroughStyle, x, (bottom + top) / 2, top - bottom);
	if (max <= min) return 0;

	const float t0 = top - kThumbTopInset, t1 = bottom + kThumbBottomInset;
	const float span = float(max) - float(min);
	float pos = span == 0 ? (t0 + t1) / 2 : t0 + (t1 - t0) * (float(*value) - float(min)) / span;
	pos = std::clamp(pos, t1, t0);

	// A negative index would write before the table just as one past it would after.
	if (index < 0 || index >= btn_slider_count) DIDIVI_ALERT("Too many sliders!", "", "", "", t_exit);
	int& grabbed = slider_grabbed[index];

	if (!mnw.mouse_held)
		grabbed = 0;
	else if (BTN_box_around(x, pos, kGrabHalf, kGrabHalf).contains(mnw.mouse_x, mnw.mouse_y))
		grabbed = 1;

	int v = *value;
	if (grabbed) {
		const float y0 = top - kDragOvershoot, y1 = bottom + kDragOvershoot;
		float f = y1 == y0 ? (float(min) + float(max)) / 2
		                   : float(min) + span * (mnw.mouse_y - y0) / (y1 - y0);
		v = int(std::clamp(f, float(min), float(max)));
	} else {
		const bool repeat = mnw.mouse_repeat && xtim.real_interval[kTickInterval];
		const bool on_line = mnw.mouse_x >= x - kGrabHalf && mnw.mouse_x <= x + kGrabHalf;
		if ((mnw.mouse_down || repeat) && on_line) {
			const float my = mnw.mouse_y;
			if (my >= top && my <= top + kArrowReach) v -= 1;
			if (my >= bottom - kArrowReach && my <= bottom) v += 1;
			if (my >= bottom && my <= top) v += my >= pos ? -kPageStep : kPageStep;
		}
	}
	*value = std::clamp(v, min, max);

	const int colour = grabbed ? kGrabbedColour : 0;
	BTN_util_element(x, top + kUpArrowRise, kSpriteS, kUpArrow.t, kSpriteHalfW, kUpArrow.half_h, colour);
	BTN_util_element(x, pos, kSpriteS, kThumb.t, kSpriteHalfW, kThumb.half_h, colour);
	BTN_util_element(x, bottom - kDownArrowDrop, kSpriteS, kDownArrow.t, kSpriteHalfW, kDownArrow.half_h, colour);
	return grabbed;
}

int BTN_horz_fill_width(float f)
{
	if (!(f > 0)) return 0;
	const int whole = int(f);
	return 2 * int(std::floor(whole / 2.0 + 0.5));
}

int BTN_horz_slider(float x, float y, float width, int colour, float min, float max, float* value, int enabled,
                    std::string label, std::string caption)
{
	BTN_label l = BTN_split_label(label);
	// Equal bounds would otherwise turn the slider round (min becoming max + 0.01).
	if (max == min)
		max = min + kMinSpan;
	else if (max < min && min < max + kMinSpan)
		min = max + kMinSpan;
	else if (max > min && max < min + kMinSpan)
		max = min + kMinSpan;

	const float cx = x + width / 2;
	BTN_frame1(kTrackStyle, cx, y, width, 0);
	BTN_util_draw_label(x - kLabelGap, y, 0, l.text, 0);
	BTN_util_draw_label(x + width + kLabelGap, y, 2, l.mid, 0);
	if (BTN_box{x, y - kHelpHalfHeight, x + width, y + kHelpHalfHeight}.contains(mnw.mouse_x, mnw.mouse_y))
		stls.mouse_help = l.tail;
	OGL_string(kCaptionColour, cx, y + kCaptionRise, caption, kCaptionWrap, charset_UI_diff_space, 1);

	// A track of no length has no place for the mouse or a fill.
	const bool usable = width > 0;
	const float f = usable ? std::clamp(width * (*value - min) / (max - min), 0.0f, width) : 0;

	int result = 0;
	if (enabled && usable && mnw.mouse_held &&
	    BTN_box{x - kMouseReach, y - kMouseReach, x + width + kMouseReach, y + kMouseReach}.contains(mnw.mouse_x,
	                                                                                                mnw.mouse_y)) {
		const float v = min + (max - min) * (mnw.mouse_x - x) / width;
		*value = std::clamp(v, std::min(min, max), std::max(min, max));
		result = 1;
	}

	const int w = BTN_horz_fill_width(f);
	if (colour != kNoFill && w > 0) BTN_frame1(kFillStyle, x + w / 2.0f, y + kFillRise, float(w), colour);

	if (enabled) {
		float kx = usable ? x + width * (*value - min) / (max - min) : x;
		kx = std::clamp(kx, std::min(x, x + width), std::max(x, x + width));
		BTN_util_element(kx, y + kKnobRise, kKnobS, kKnobT, kKnobHalfW, kKnobHalfH, 0);
	}
	return result;
}
