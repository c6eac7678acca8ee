#pragma once
// Where the widget chrome goes, as pure functions: label markup, and the quads of the
// three-slice bars, the vertical trough, the nine-slice panels and the title-bar boxes,
// with their texture coordinates. Drawing them is butn_frames' business; tests read the
// geometry without a context.
#include <string>
#include <vector>

// Label markup: "text|mid{?help".
struct BTN_label {
	std::string text, mid, tail;
};
BTN_label BTN_split_label(const std::string& label);
void BTN_expand_label(const std::string& label, std::string* text, std::string* mid, std::string* tail);

// The two lines a label part is drawn on; `second` empty when it stays on one line.
// A leading '-' is dropped and keeps the text on one line.
struct BTN_label_lines {
	std::string first, second;
};
BTN_label_lines BTN_label_split_lines(std::string text, int align);
// The width of the wider of those lines: how far the label reaches from where it is
// aligned.
float BTN_label_width(const std::string& text, int align);

// The push button: its bar style, and the width it takes for a label (`width`, or the
// label's own plus a margin when width <= 0).
constexpr int btn_bar_button_up = 2;
float BTN_action_width(float width, const std::string& label);
// A check box or radio button: its 18 by 18 cell is centred this far above its y.
constexpr float btn_bool_cell_half = 9;
constexpr float btn_bool_cell_rise = 3;
// A text field's label part ends this far left of the field.
constexpr float btn_field_label_gap = 12;

// One axis-aligned textured quad: corners in interface units, texture coordinates 0..1.
struct BTN_quad {
	float x1, y1, x2, y2;
	float s1, t1, s2, t2;
};

// The atlases the chrome is cut from.
enum {
	btn_tex_interface = 392,  // 512 x 512
	btn_tex_elements = 393,   // addressed as 1024 x 128
};

struct BTN_frame_geometry {
	bool ok = false;  // false: a style this piece of chrome does not have
	int texture = btn_tex_interface;
	std::vector<BTN_quad> quads;
};

// `BTN_frame1`: the three-slice bar of `style` centred at x, y, 2 round(width/2) + extra long.
BTN_frame_geometry BTN_frame1_geometry(int style, float x, float y, float width);
// `BTN_frame0`: the vertical trough (style 6) centred at x, y.
BTN_frame_geometry BTN_frame0_geometry(int style, float x, float y, float length);
// `BTN_frame2`: the nine-slice panel of `style` around the rectangle at x, y.
BTN_frame_geometry BTN_frame2_geometry(int style, float x, float y, float width, float height);

// What BTN_frame2 needs beyond the quads: the title's palette entry and baseline offset.
struct BTN_panel_style {
	int texture;
	float side, bottom, top;       // outsets
	float sprite_s, sprite_t, size;
	float cap_side, cap_bottom, cap_top;
	int title_colour;
};
const BTN_panel_style* BTN_panel_style_of(int style);
constexpr int btn_panel_window_frame = 11;
constexpr int btn_panel_plain = 12;
constexpr int btn_panel_header = 20;

// `BTN_subwin`'s placement: negative values take the window's defaults.
struct BTN_subwin_rect {
	float x, y, width, height, next_x, next_y;
};
BTN_subwin_rect BTN_subwin_place(float reserve, float x, float y, float width, float height, float window_width,
                                 float window_height);

// The two title-bar boxes of a window of this size: hit boxes and their images.
struct BTN_zap_geometry {
	BTN_quad left, right;  // both with the image of the given state
};
BTN_zap_geometry BTN_zap_geometry_of(int state, float window_width, float window_height);
