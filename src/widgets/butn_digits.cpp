// The digit-wheel fields: a row of 10-unit cells with an up and a down arrow on each.
// BTN_flt_range does the work for every numeric member; BTN_chars is the same wheel over
// a fixed-length text. Each kind has its own hot cell and key queue, shared by every
// field of that kind.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"

namespace {

constexpr float kCell = 10;
constexpr int kMouseCells = 10;  // clicks reach only the first ten cells
constexpr float kRowBelow = 2, kRowAbove = 8;
constexpr float kWheelBelow = 18, kWheelAbove = 24, kWheelSplit = 3;
constexpr float kClickShift = 2;
constexpr int kPointerIncrease = 13, kPointerDecrease = 14;
constexpr int kNoMenuOpen = -1;

constexpr int kBoxStyle = 9;
constexpr float kBoxRise = 3, kBoxGrowNumeric = 15, kBoxGrowChars = 11;
constexpr float kLabelGap = 12, kCharsLabelGap = 6;
constexpr int kHotColour = 8, kValueColour = 45;
constexpr float kHotInset = 2, kHotWidth = 9, kHotHeight = 11;
constexpr float kValueInset = 3, kDisplayInset = 4, kCharInset = 2;

// The arrows under and over each cell, 14 wide, centred 6 in.
constexpr float kArrowCentre = 6, kArrowHalfW = 7, kArrowHalfH = 9;
constexpr float kArrowS = 90, kDownArrowT = 187, kUpArrowT = 206;
constexpr float kDownArrowDrop = 10, kUpArrowRise = 18;

enum { vk_left = 37, vk_up = 38, vk_right = 39, vk_down = 40 };


constexpr char kAlphabet[] = " 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-";
constexpr int kAlphabetSize = sizeof kAlphabet - 1;

int wrap(int v, int n) { return ((v % n) + n) % n; }

void draw_arrows(float x, float y, int cells)
{
	for (int k = 0; k < cells; ++k) {
		const float cx = x + kCell * float(k) + kArrowCentre;
		BTN_util_element(cx, y - kDownArrowDrop, kArrowS, kDownArrowT, kArrowHalfW, kArrowHalfH, 0);
		BTN_util_element(cx, y + kUpArrowRise, kArrowS, kUpArrowT, kArrowHalfW, kArrowHalfH, 0);
	}
}

void draw_hot_mark(float x, float y, int hot)
{
	OGL_fillrect(kHotColour, 1, x + kCell * float(hot) + kHotInset, y - kRowBelow, kHotWidth, kHotHeight);
}

BTN_box digit_row(float x, float y, int cells) { return {x, y - kRowBelow, x + kCell * float(cells), y + kRowAbove}; }
BTN_box wheel_area(float x, float y, int cells)
{
	return {x, y - kWheelBelow, x + kCell * float(cells), y + kWheelAbove};
}

}  // namespace

float BTN_digits_max(int digits, int decimals)
{
	// 9, 9.9, 9.99, ... times the place of the first cell; past ten digits the same rule
	// goes on, capped at the largest float.
	double f = 9;
	for (int i = 1; i < digits; ++i) f += 9 * std::pow(10.0, -i);
	const double m = std::pow(10.0, digits - 1) / std::pow(10.0, decimals) * f;
	return float(std::min(m, double(FLT_MAX)));
}

int BTN_alphabet_index(char c)
{
	if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
	const char* p = std::strchr(kAlphabet, c);
	return (c != 0 && p) ? int(p - kAlphabet) : 1;  // anything else counts as '0'
}

int BTN_flt_range(float x, float y, float* value, int digits, int decimals, float min, float max, std::string label)
{
	BTN_label l = BTN_split_label(label);
	const float right = x + kCell * float(digits);
	const int id = BTN_position_id(x, y);
	const bool hover = digit_row(x, y, digits).contains(mnw.mouse_x, mnw.mouse_y);
	if (hover) stls.mouse_help = l.tail;

	// Shared by every numeric field: the cell that takes keys, and the key queue.
	static int hot_digit = 0;
	static BTN_key_queue slots;
	bool asks_for_focus = false;
	if (mnw.menu_state == kNoMenuOpen && mnw.mouse_down && hover) {
		hot_digit = int((mnw.mouse_x - kClickShift - x) / kCell);
		asks_for_focus = true;
	}
	const int focused = BTN_register_focus(id, slots, btn_mask_digit_field, asks_for_focus ? 1 : 0);
	if (focused) hot_digit = std::clamp(hot_digit, 0, std::max(digits - 1, 0));

	int changed = 0;
	double v = *value;
	const double scale = std::pow(10.0, decimals);
	slots.drain(id, [&](const BTN_key& k) {
		const int hot = hot_digit;
		if (k.vkey == vk_left || k.vkey == vk_right) {
			int h = hot + (k.vkey == vk_left ? -1 : 1);
			if (h < 0) h = digits - 1;
			if (h >= digits) h = 0;
			hot_digit = h;
		}
		if (k.vkey == vk_down || k.vkey == vk_up) {
			const double step = std::pow(10.0, digits - decimals - hot - 1);
			v += k.vkey == vk_up ? step : -step;
			changed = 1;
		}
		const int c = k.character;
		if (c >= '0' && c <= '9') {
			// Worked on the whole number of the last place, so a digit lands on what the
			// cell shows: 0.7 with a 5 in the tenths is 0.5.
			const double place = std::pow(10.0, digits - hot - 1);
			double a = std::llround(std::fabs(v) * scale);
			const double d = std::fmod(std::floor(a / place), 10.0);
			a += (c - '0' - d) * place;
			v = std::copysign(a / scale, v);
			hot_digit = hot + 1 >= digits ? 0 : hot + 1;
			changed = 1;
		}
		if (c == '+' && min < 0) {
			v = std::fabs(v);
			changed = 1;
		}
		if (c == '-' && !(max < 0)) {
			v = -std::fabs(v);
			changed = 1;
		}
	});

	const BTN_box wheel = wheel_area(x, y, digits);
	if (mnw.menu_state == kNoMenuOpen && !hover && wheel.contains(mnw.mouse_x, mnw.mouse_y)) {
		const bool upper = mnw.mouse_y > y + kWheelSplit;
		mnw.pointer_shape = upper ? kPointerIncrease : kPointerDecrease;
		if (mnw.mouse_down) {
			for (int k = 0; k < std::min(digits, kMouseCells); ++k) {
				const float x1 = x + kCell * float(k);
				if (mnw.mouse_x < x1 || mnw.mouse_x > x1 + kCell) continue;
				const double step = std::pow(10.0, digits - 1) / scale / std::pow(10.0, k);
				v += upper ? step : -step;
				changed = 1;
			}
		}
	}

	v = std::clamp(v, double(min), double(max));
	v = std::trunc(v * scale + (v < 0 ? -0.5 : 0.5)) / scale;
	*value = float(v);

	BTN_frame1(kBoxStyle, x + 5 * float(digits) - 1, y + kBoxRise, kCell * float(digits) + kBoxGrowNumeric, 0);
	draw_arrows(x, y, digits);
	BTN_util_draw_label(x - kLabelGap, y, 0, l.text, 0);
	BTN_util_draw_label(right + kLabelGap, y, 2, l.mid, 0);
	if (focused) draw_hot_mark(x, y, hot_digit);
	OGL_number(kValueColour, x + kValueInset, y, *value, digits, decimals, charset_UI_fixed_space);
	return changed;
}

int BTN_flt(float x, float y, float* value, int digits, int decimals, int allow_negative, std::string label)
{
	const float m = BTN_digits_max(digits, decimals);
	return BTN_flt_range(x, y, value, digits, decimals, allow_negative ? -m : 0, m, label);
}

int BTN_dob_range(float x, float y, double* value, int digits, int decimals, float min, float max, std::string label)
{
	float f = float(*value);
	const int r = BTN_flt_range(x, y, &f, digits, decimals, min, max, label);
	if (r) *value = f;
	return r;
}

int BTN_int_range(float x, float y, int* value, int digits, float min, float max, std::string label)
{
	float f = float(*value);
	const int r = BTN_flt_range(x, y, &f, digits, 0, min, max, label);
	*value = int(f);
	return r;
}

int BTN_int(float x, float y, int* value, int digits, int allow_negative, std::string label)
{
	const float m = BTN_digits_max(digits, 0);
	return BTN_int_range(x, y, value, digits, allow_negative ? -m : 0, m, label);
}

namespace {
constexpr float kGridColumn = 75, kGridRow = 50, kGridRowBase = 25;
float grid_x(int col, int digits) { return kGridColumn * float(col) + kGridColumn - kCell * float(digits); }
float grid_y(int row) { return kGridRow * float(row) + kGridRowBase; }
}  // namespace

int BTN_fltij(int col, int row, float* value, int digits, int decimals, int allow_negative, std::string label)
{
	return BTN_flt(grid_x(col, digits), grid_y(row), value, digits, decimals, allow_negative, label);
}

int BTN_flt_rangeij(int col, int row, float* value, int digits, int decimals, float min, float max,
                    std::string label)
{
	return BTN_flt_range(grid_x(col, digits), grid_y(row), value, digits, decimals, min, max, label);
}

void BTN_display_number(float x, float y, float value, int digits, int decimals, std::string label)
{
	BTN_label l = BTN_split_label(label);
	BTN_frame1(kBoxStyle, x + 5 * float(digits) - 1, y + kBoxRise, kCell * float(digits) + kBoxGrowNumeric, 0);
	BTN_util_draw_label(x - kLabelGap, y, 0, l.text, 0);
	BTN_util_draw_label(x + kCell * float(digits) + kLabelGap, y, 2, l.mid, 0);
	OGL_number(kValueColour, x + kDisplayInset, y, value, digits, decimals, charset_UI_fixed_space);
}

void BTN_chars(float x, float y, char* chars, int count, std::string label)
{
	BTN_label l = BTN_split_label(label);
	const int id = BTN_position_id(x, y);
	// Shared by every character field: the cell that takes keys, and the key queue.
	static int hot_digit = 0;
	static BTN_key_queue slots;
	bool row_click = false;
	if (mnw.menu_state == kNoMenuOpen && mnw.mouse_down && digit_row(x, y, count).contains(mnw.mouse_x, mnw.mouse_y)) {
		hot_digit = int((mnw.mouse_x - x) / kCell);
		row_click = true;
	}
	const int focused = BTN_register_focus(id, slots, btn_mask_char_field, row_click ? 1 : 0);
	const int last = std::max(count - 1, 0);
	if (focused) hot_digit = std::clamp(hot_digit, 0, last);

	slots.drain(id, [&](const BTN_key& k) {
		if (count <= 0) return;
		// The hot cell is shared with wider fields: never past this field's own cells.
		int& hot = hot_digit;
		hot = std::clamp(hot, 0, last);
		if (k.vkey == vk_left || k.vkey == vk_right) {
			hot = wrap(hot + (k.vkey == vk_left ? -1 : 1), count);
			return;
		}
		if (k.vkey == vk_down || k.vkey == vk_up) {
			const int i = BTN_alphabet_index(chars[hot]) + (k.vkey == vk_down ? 1 : -1);
			chars[hot] = kAlphabet[wrap(i, kAlphabetSize)];
			return;
		}
		int c = k.character;
		if (c >= 'a' && c <= 'z') c = c - 'a' + 'A';
		const bool stored = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '-' || c == ' ';
		if (!stored) return;
		chars[hot] = char(c);
		hot = wrap(hot + 1, count);
	});

	BTN_frame1(kBoxStyle, x + 5 * float(count) + 1, y + kBoxRise, kCell * float(count) + kBoxGrowChars, 0);
	draw_arrows(x, y, count);
	BTN_util_draw_label(x - kCharsLabelGap, y, 0, l.text, 0);
	if (focused) draw_hot_mark(x, y, hot_digit);

	for (int k = 0; k < count; ++k) {
		const float xk = x + kCell * float(k);
		OGL_string(kValueColour, xk + kCharInset, y, std::string(1, chars[k]), 0, charset_UI_diff_space, 0);
		if (BTN_box{xk, y - kRowBelow, xk + kCell, y + kRowAbove}.contains(mnw.mouse_x, mnw.mouse_y))
			stls.mouse_help = l.tail;
		if (mnw.mouse_down && !row_click &&
		    BTN_box{xk, y - kWheelBelow, xk + kCell, y + kWheelAbove}.contains(mnw.mouse_x, mnw.mouse_y)) {
			const bool upper = mnw.mouse_y > y + kWheelSplit;
			mnw.pointer_shape = upper ? kPointerIncrease : kPointerDecrease;
			const int i = BTN_alphabet_index(chars[k]) + (upper ? -1 : 1);
			chars[k] = kAlphabet[wrap(i, kAlphabetSize)];
		}
	}
}
