// Drawing the chrome: labels, sprite elements, bars, the trough, panels, window
// backgrounds, sub-panels and the title-bar boxes. Where each piece goes is
// butn_geometry's; this unit only puts the quads on screen.
#include "graphics/oglp.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"

namespace {

constexpr int kCharsetUI = charset_UI_diff_space;
constexpr int kLabelColour = 43;
constexpr int kLabelHighlight = 81;
constexpr float kSecondLineAbove = 5, kSecondLineGap = 10;
constexpr int kChromeColour = 0;
constexpr int kPlainFill = 21;      // BTN_fillwin kind: nothing inside the frame
constexpr int kTopBarKind = 1;      // BTN_fillwin kind: a top bar below the title
constexpr float kTopBarDrop = 50;
constexpr float kPanelInset = 10, kPanelTopInset = 40;
constexpr float kHeaderTitleInset = 10;
constexpr float kTitleDropFrame = 13, kTitleDropPanel = 16;

// Windows whose frames carry no close boxes: the main window and the fixed dialogs.
bool has_close_boxes(int window) { return window != 0 && (window < 994 || window > 999); }

// Label alignments: 0 ends at x, 1 centred, 2 starts at x; the text layer counts the
// other way round (0 starts at x, 2 ends at x).
int text_align_of(int label_align) { return 2 - label_align; }

// Corners go round clockwise, as every 2-D primitive does: the interface's GL state
// culls the other winding.
void draw_quads(const BTN_frame_geometry& g, int colour)
{
	for (const BTN_quad& q : g.quads)
		OGL_2dquad(g.texture, colour, 1.0f, q.x1, q.y1, q.s1, q.t1, q.x1, q.y2, q.s1, q.t2, q.x2, q.y2, q.s2, q.t2,
		           q.x2, q.y1, q.s2, q.t1, 1, al_blend);
}

void draw_quad(int texture, const BTN_quad& q, int colour)
{
	BTN_frame_geometry g;
	g.texture = texture;
	g.quads.push_back(q);
	draw_quads(g, colour);
}

// The drawing layer's boxed string is drawn with this toolkit's field frame and labels.
[[maybe_unused]] const bool box_pieces_installed =
    (OGL_set_box_pieces({BTN_expand_label, BTN_frame1, BTN_util_draw_label}), true);

}  // namespace

void BTN_util_draw_label(float x, float y, int align, const std::string& text, int highlight)
{
	if (align < 0 || align > 2 || text.empty()) return;
	BTN_label_lines lines = BTN_label_split_lines(text, align);
	const int colour = highlight ? kLabelHighlight : kLabelColour;
	const int a = text_align_of(align);
	if (lines.second.empty()) {
		OGL_string(colour, x, y, lines.first, 0, kCharsetUI, a);
		return;
	}
	OGL_string(colour, x, y + kSecondLineAbove, lines.first, 0, kCharsetUI, a);
	OGL_string(colour, x, y + kSecondLineAbove - kSecondLineGap, lines.second, 0, kCharsetUI, a);
}

void BTN_util_element(float x, float y, float s, float t, float half_w, float half_h, int colour)
{
	constexpr float atlas = 512;
	BTN_quad q{x - half_w, y - half_h, x + half_w, y + half_h,
	           (s - half_w) / atlas, (t - half_h) / atlas, (s + half_w) / atlas, (t + half_h) / atlas};
	draw_quad(btn_tex_interface, q, colour);
}

void BTN_frame1(int style, float x, float y, float width, int colour)
{
	BTN_frame_geometry g = BTN_frame1_geometry(style, x, y, width);
	if (!g.ok) DIDIVI_ALERT("Bad BTN_frame1 call!", "", "", "", t_exit);
	draw_quads(g, colour);
}

void BTN_frame0(int style, float x, float y, float length)
{
	if (style != 6) DIDIVI_ALERT("Bad BTN_frame0 call!", "", "", "", t_exit);
	if (x != float(int(x))) DIDIVI_ALERT("BTN_frame0 non-int x_center!", "", "", "", t_exit);
	if (y != float(int(y))) DIDIVI_ALERT("BTN_frame0 non-int y_center!", "", "", "", t_exit);
	draw_quads(BTN_frame0_geometry(style, x, y, length), kChromeColour);
}

void BTN_frame2(int style, float x, float y, float width, float height, std::string title)
{
	const BTN_panel_style* st = BTN_panel_style_of(style);
	if (!st) DIDIVI_ALERT("Bad BTN_frame2 call!", "", "", title, t_exit);
	draw_quads(BTN_frame2_geometry(style, x, y, width, height), kChromeColour);

	const float tx = style == btn_panel_header ? x + kHeaderTitleInset : x + (width - float(ui_text_width(title))) / 2;
	const float ty = y + height - (style == btn_panel_window_frame ? kTitleDropFrame : kTitleDropPanel);
	if (!title.empty()) OGL_string(st->title_colour, tx, ty, title, 0, kCharsetUI, 0);

	if (style == btn_panel_window_frame && has_close_boxes(mnw.current_window)) {
		BTN_zap_geometry z = BTN_zap_geometry_of(0, mnw.window_width, mnw.window_height);
		draw_quad(btn_tex_interface, z.left, kChromeColour);
		BTN_box left{z.left.x1, z.left.y1, z.left.x2, z.left.y2};
		if (!(mnw.mouse_down && left.contains(mnw.mouse_x, mnw.mouse_y)))
			draw_quad(btn_tex_interface, z.right, kChromeColour);
	}
}

void BTN_fillwin(int flag, int kind)
{
	BTN_frame2(flag ? btn_panel_window_frame : btn_panel_plain, 0, 0, mnw.window_width, mnw.window_height,
	           stls.wind_title);
	if (kind == kPlainFill) return;
	if (kind == kTopBarKind) {
		BTN_frame1(1, mnw.window_width / 2, mnw.window_height - kTopBarDrop, mnw.window_width, kChromeColour);
		return;
	}
	BTN_frame2(kind, kPanelInset, kPanelInset, mnw.window_width - 2 * kPanelInset,
	           mnw.window_height - kPanelTopInset, "");
}

void BTN_subwin(float reserve, int style, float x, float y, float width, float height, std::string title,
                float* next_x, float* next_y)
{
	BTN_subwin_rect r = BTN_subwin_place(reserve, x, y, width, height, mnw.window_width, mnw.window_height);
	BTN_frame2(style, r.x, r.y, r.width, r.height, title);
	if (next_x) *next_x = r.next_x;
	if (next_y) *next_y = r.next_y;
}

int BTN_zap_boxes(int state)
{
	BTN_zap_geometry z = BTN_zap_geometry_of(state, mnw.window_width, mnw.window_height);
	draw_quad(btn_tex_interface, z.left, kChromeColour);
	if (mnw.mouse_down && BTN_box{z.left.x1, z.left.y1, z.left.x2, z.left.y2}.contains(mnw.mouse_x, mnw.mouse_y))
		return 1;
	draw_quad(btn_tex_interface, z.right, kChromeColour);
	return mnw.mouse_down && BTN_box{z.right.x1, z.right.y1, z.right.x2, z.right.y2}.contains(mnw.mouse_x, mnw.mouse_y)
	           ? 1
	           : 0;
}
