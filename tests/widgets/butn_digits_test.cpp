// The digit-wheel fields: arrows, typed digits and signs, the clamp and the rounding,
// the grid, and the character wheel with its alphabet.
#include <cstring>

#include "widgets/widget_frames.h"

namespace {

class Digits : public WidgetFrames {
protected:
	// A 3-digit, 1-decimal field at (100, 200).
	static constexpr float kX = 100, kY = 200;
	float value = 12.3f;
	float min = 0, max = 99.9f;
	int changed = 0;
	void field() { changed = BTN_flt_range(kX, kY, &value, 3, 1, min, max, "|x{?Tenths"); }
	std::function<void()> draw() { return [this] { field(); }; }
	// Cell k's upper or lower arrow.
	void arrow(int k, bool up) { click(kX + 10 * k + 5, up ? kY + 18 : kY - 10, draw()); }
	void focus_cell(int k) { click(kX + 10 * k + 5, kY + 3, draw()); }
};

}  // namespace

TEST_F(Digits, ArrowsAddTheirCellsPlace)
{
	KX_REQUIRE_GL(gl);
	arrow(0, true);
	EXPECT_FLOAT_EQ(value, 22.3f);
	EXPECT_EQ(changed, 1);
	EXPECT_EQ(mnw.pointer_shape, 13);
	value = 12.3f;
	arrow(2, true);
	EXPECT_FLOAT_EQ(value, 12.4f);
	value = 12.3f;
	arrow(1, false);
	EXPECT_FLOAT_EQ(value, 11.3f);
	EXPECT_EQ(mnw.pointer_shape, 14);
	// A boundary between two cells hits both.
	value = 12.3f;
	click(kX + 10, kY + 18, draw());
	EXPECT_FLOAT_EQ(value, 23.3f);
	// Nothing changes while a menu is open, but the value is still clamped.
	value = 150;
	mnw.menu_state = 1519;
	arrow(0, true);
	mnw.menu_state = -1;
	EXPECT_FLOAT_EQ(value, 99.9f);
	EXPECT_EQ(changed, 0);
}

TEST_F(Digits, TypedDigitsSignsAndTheHotCell)
{
	KX_REQUIRE_GL(gl);
	focus_cell(0);
	EXPECT_EQ(focus_id, BTN_position_id(kX, kY));
	EXPECT_EQ(stls.mouse_help, "Tenths");
	keys({key_char('5')}, draw());
	EXPECT_FLOAT_EQ(value, 52.3f);
	keys({key_char('1'), key_char('9')}, draw());
	EXPECT_FLOAT_EQ(value, 51.9f);
	keys({key_char('4')}, draw());  // the hot cell came back round to 0
	EXPECT_FLOAT_EQ(value, 41.9f);

	value = 99.9f;
	keys({key_vk(vk_left), key_vk(vk_up)}, draw());  // the hot cell was 1: cell 0 again
	EXPECT_FLOAT_EQ(value, 99.9f);
	EXPECT_EQ(changed, 1);
	keys({key_vk(vk_left), key_vk(vk_down)}, draw());  // left of cell 0 is the last cell
	EXPECT_FLOAT_EQ(value, 99.8f);

	keys({key_char('-')}, draw());  // min 0: -|v| is clamped to 0, still a change
	EXPECT_FLOAT_EQ(value, 0);
	EXPECT_EQ(changed, 1);
	value = 5;
	keys({key_char('+')}, draw());
	EXPECT_EQ(changed, 0);

	// A key-up is cleared without effect.
	keys({BTN_key{'7', 0, btn_key_up}}, draw());
	EXPECT_FLOAT_EQ(value, 5);
}

TEST_F(Digits, SignedValuesRoundingAndTheScaledDigitMend)
{
	KX_REQUIRE_GL(gl);
	value = -12.3f;
	min = -99.9f;
	focus_cell(0);
	keys({key_char('7')}, draw());
	EXPECT_FLOAT_EQ(value, -72.3f);
	keys({key_char('+')}, draw());
	EXPECT_FLOAT_EQ(value, 72.3f);

	value = 12.35f;
	idle(draw());
	EXPECT_FLOAT_EQ(value, 12.4f);
	value = -12.35f;
	idle(draw());
	EXPECT_FLOAT_EQ(value, -12.4f);

	// 0.7 shows 0 0 7 in its cells: a 5 typed into the tenths makes 0.5.
	value = 0.7f;
	focus_cell(2);
	keys({key_char('5')}, draw());
	EXPECT_FLOAT_EQ(value, 0.5f);
}

TEST_F(Digits, WrappersBoundsAndTheGrid)
{
	KX_REQUIRE_GL(gl);
	EXPECT_FLOAT_EQ(BTN_digits_max(3, 0), 999);
	EXPECT_FLOAT_EQ(BTN_digits_max(4, 2), 99.99f);
	EXPECT_FLOAT_EQ(BTN_digits_max(3, 1), 99.9f);
	EXPECT_FLOAT_EQ(BTN_digits_max(4, 0), 9999);
	EXPECT_GT(BTN_digits_max(12, 0), BTN_digits_max(11, 0));
	EXPECT_EQ(BTN_digits_max(60, 0), FLT_MAX);

	int i = -5;
	idle([&] { BTN_int(100, 100, &i, 3, 0, ""); });
	EXPECT_EQ(i, 0);
	i = 5000;
	idle([&] { BTN_int(100, 100, &i, 3, 1, ""); });
	EXPECT_EQ(i, 999);
	double d = 1234;  // written back only on a change
	idle([&] { BTN_dob_range(100, 100, &d, 3, 0, 0, 999, ""); });
	EXPECT_EQ(d, 1234);

	// BTN_fltij(0, 0) with 4 digits sits at (35, 25): its first cell's up arrow.
	float f = 0;
	click(35 + 5, 25 + 18, [&] { BTN_fltij(0, 0, &f, 4, 0, 0, ""); });
	EXPECT_FLOAT_EQ(f, 1000);
}

TEST_F(Digits, CharacterWheelAlphabetAndNarrowerFields)
{
	KX_REQUIRE_GL(gl);
	char s[5] = "Z-#a";
	auto field = [&] { BTN_chars(100, 200, s, 4, ""); };
	click(100 + 5, 200 + 3, field);  // focus, cell 0
	keys({key_vk(vk_down)}, field);
	EXPECT_EQ(s[0], '-');
	keys({key_vk(vk_down)}, field);
	EXPECT_EQ(s[0], ' ');
	keys({key_vk(vk_up)}, field);
	EXPECT_EQ(s[0], '-');
	keys({key_vk(vk_right), key_vk(vk_right), key_vk(vk_down)}, field);
	EXPECT_EQ(s[2], '1');  // '#' counts as '0'
	keys({key_char('q'), key_char('+')}, field);
	EXPECT_STREQ(s, "--Qa");

	// The wheel: the upper half steps back, the lower forward, shown next frame.
	click(100 + 15, 200 + 20, field);
	EXPECT_EQ(s[1], 'Z');
	click(100 + 15, 200 - 10, field);
	EXPECT_EQ(s[1], '-');

	// A letter queued for a 3-cell field, then a click on cell 7 of a wider field drawn
	// before it: the letter lands inside the narrow field, never past its buffer.
	char wide[9] = "ABCDEFGH", narrow[8] = "xyz\0\0\0\0";
	auto both = [&] {
		BTN_chars(100, 300, wide, 8, "");
		BTN_chars(100, 100, narrow, 3, "");
	};
	click(100 + 5, 100 + 3, both);
	frame_input in;
	in.keys = {key_char('k')};
	in.mx = 100 + 75;
	in.my = 300 + 3;
	in.down = true;
	frame(in, both);
	EXPECT_STREQ(narrow, "xyK");
	EXPECT_EQ(narrow[7], 0);
	EXPECT_STREQ(wide, "ABCDEFGH");
}
