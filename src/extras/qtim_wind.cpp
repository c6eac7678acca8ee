// The recorder's settings window, apart from the recorder itself: only the settings
// window needs the numeric fields.
#include "extras/qtim.h"
#include "graphics/ogl_draw.h"
#include "runtime/hl_globals.h"
#include "widgets/btn.h"

namespace {

constexpr int kFillFlag = 1, kFillKind = 21;
constexpr int kSubwinStyle = 15;
constexpr float kSubwinHeight = 296.0f;

struct field {
	float x, y;
	int digits;
	float min, max;
	int label;
};
constexpr field kFpsField = {150.0f, 415.0f, 2, 10.0f, 99.0f, 528};
constexpr int kFpsDecimals = 0;
constexpr field kWidthField = {130.0f, 365.0f, 4, 32.0f, 2048.0f, 529};

struct text_line {
	int ui_str;
	float y;
};
constexpr text_line kUsableLines[] = {{724, 285.0f}};
constexpr text_line kUnusableLines[] = {{725, 285.0f}, {726, 255.0f}, {727, 245.0f}};
constexpr text_line kAlwaysLines[] = {{728, 225.0f}, {729, 195.0f}, {730, 165.0f}, {731, 125.0f}, {732, 85.0f}};
constexpr int kTextColour = 47;
constexpr float kTextX = 20.0f, kTextWrap = 600.0f;

template <std::size_t N>
void draw_lines(const text_line (&lines)[N])
{
	for (const text_line& l : lines)
		OGL_string(kTextColour, kTextX, l.y, stls.ui_str[l.ui_str], kTextWrap, charset_UI_diff_space, 0);
}

}  // namespace

void qtim_class::qtim_wind()
{
	float wx1 = 0.0f, wy1 = 0.0f;
	BTN_fillwin(kFillFlag, kFillKind);
	BTN_subwin(0.0f, kSubwinStyle, -1.0f, -1.0f, -1.0f, kSubwinHeight, "", &wx1, &wy1);
	// Settings change only while nothing is recording.
	if (state != 0) mov_toggle(0);
	BTN_flt_range(kFpsField.x, kFpsField.y, &fps, kFpsField.digits, kFpsDecimals, kFpsField.min, kFpsField.max,
	              stls.ui_str[kFpsField.label]);
	BTN_int_range(kWidthField.x, kWidthField.y, &width, kWidthField.digits, kWidthField.min, kWidthField.max,
	              stls.ui_str[kWidthField.label]);
	if (qt_usable)
		draw_lines(kUsableLines);
	else
		draw_lines(kUnusableLines);
	draw_lines(kAlwaysLines);
}
