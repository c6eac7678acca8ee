#pragma once
// The whole drawing layer `oglp`: the cached state switch, the palette colour rule, 2-D
// primitives, viewport and projection set-up, a few 3-D helpers, bitmap-font text and
// the whole-window services (background, screenshots). ogl_draw.h holds the calls
// the lower layers use; this header adds the rest. Main thread only.
#include <cstddef>
#include <string>
#include <vector>

#include "graphics/ogl_draw.h"

// The number of texture units the last OGL_setstate enabled; the texture loader reads it.
extern int num_units;
// Scales every glyph quad when above 1.0; start-up sets it to 1.0.
extern float oglp;
// Pixel size of the loaded background picture.
extern int back_dx, back_dy;

// The default OpenGL state of a new context: the one function start-up (and the test
// context) call right after the context is made current. Multisampling is turned on
// when alias_now > 0.
void OGL_default_gl_state(int alias_now);

// The buffer swap OGL_sbuff ends a frame with. The shell installs the window's swap at
// start-up; the default only flushes, which is right for an off-screen target.
using ogl_swap_fn = void (*)();
ogl_swap_fn OGL_set_swap_hook(ogl_swap_fn f);

// Forgets what OGL_setstate believes GL's state to be, so that the next call reads it
// from GL again (a new context starts with GL's own defaults).
void OGL_setstate_forget();

void OGL_bind_vbo(const unsigned long& id);
void OGL_bind_vbo_ind(const unsigned long& id);
void OGL_screensize(int mode, float x1, float y1, float x2, float y2);
void OGL_scissors(float x, float y, float w, float h);
void OGL_scissors_end();
void OGL_glow_colors();
void OGL_poly_offset(int n);
void OGL_setspec(float s);
void OGL_printer();

// Sets the GL colour of palette entry `colour` under the light levels, global alpha and
// night mode.
void OGL_palette_colour(int colour, float alpha);
// The same rule as a pure function: red, green, blue, alpha and whether the alpha is
// set at all (false: a three-component colour, GL's alpha becomes 1.0).
struct ogl_rgba {
	float r, g, b, a;
	bool four;
};
ogl_rgba OGL_palette_rgba(int colour, float alpha);

void OGL_framerect(int colour, float alpha, float x, float y, float w, float h);
void OGL_grayrect(float x1, float y1, float x2, float y2, float alpha);
void OGL_fillcircle(int colour, float x, float y, float r);
void OGL_framecircle(int colour, float x, float y, float r);
void OGL_arc(int colour, float x, float y, float r_in, float r_out, float a_start, float a_end);
void OGL_2dquad_d(int tex_ref, int colour, float alpha, float x, float y, float s, float t, float w, float h,
                  float ds, float dt, int alpha_mode);

void OGL_3dline(float x1, float y1, float z1, float x2, float y2, float z2);
void OGL_3dquad(const float* p0, const float* p1, const float* p2, const float* p3);
void OGL_3dquad_st(const float* p0, const float* p1, const float* p2, const float* p3, float s1, float t1, float s2,
                   float t2);
void OGL_cube(float x, float y, float z, float w, float h, float d, float s1, float s2, float t1, float t2,
              float heading);
void OGL_disc(float x, float y, float z, float r);
void OGL_spectrum_rgb(float x);

// --- text ---
int OGL_strtex(int charset, int colour, float* s0, float* t0, float* cell_w, float* cell_h);
void OGL_char(float x, float y, float s0, float t0, float cell_w, float cell_h, int c, int charset);
void str_one_line(int colour, float x, float y, const std::string& s, int charset, int align);
// Sees every line of text as str_one_line draws it, x already aligned: the legibility
// tests draw the same lines again to find their glyphs. Unset, nothing is called.
using ogl_text_observer_fn = void (*)(int colour, float x, float y, const std::string& s, int charset);
ogl_text_observer_fn OGL_set_text_observer(ogl_text_observer_fn f);
void OGL_number(int colour, float x, float y, float value, int digits, int decimals, int charset);
void OGL_gray_string(int colour, float x, float y, std::string s);
// A text in a text-field frame that is centred on x and sized to the text, the label's
// left part ending left of the frame and its right part starting right of it.
void OGL_boxed_string(float x, float y, const std::string& label, const std::string& text, int charset, int colour);
// The frame and the label parts of the boxed string are the widget toolkit's, which sits
// above this layer: the toolkit hands them over when it is part of the program. Until
// then the boxed string draws its text alone.
struct ogl_box_pieces {
	void (*expand_label)(const std::string& label, std::string* text, std::string* mid, std::string* tail);
	void (*frame1)(int style, float x, float y, float width, int colour);
	void (*draw_label)(float x, float y, int align, const std::string& text, int highlight);
};
void OGL_set_box_pieces(const ogl_box_pieces& pieces);

// Text measuring and formatting, without GL.
// Width of s in the proportional interface font.
int ui_text_width(const std::string& s);
// Where a line of that width starts for alignment 0 (left), 1 (centred) or 2 (right).
float ui_text_start_x(float x, int width, int align);
// OGL_string steps wrapped lines down by this much.
constexpr float ui_line_height = 10;
// The rows the glyph cells of one line cover: line `line` (0 the first) of a wrapped
// interface-font text that OGL_string draws at y (the dialog origin left out).
struct ogl_band {
	float bottom, top;
};
ogl_band OGL_line_band(float y, int line);
// The glyph cell (column, row) of byte c in a charset (100, 102 or 103).
struct ogl_cell {
	int col, row;
};
ogl_cell OGL_glyph_cell(unsigned char c, int charset);
// The lines OGL_string draws for a wrap width; each keeps its break character and
// newline. A width at or below 0 or at or above 9999 gives the whole text as one line.
// adv is the charset's fixed advance (0: the proportional table).
std::vector<std::string> OGL_wrap_lines(const std::string& s, float wrap_width, int adv);
// A text that must keep to its room (a path from outside may be of any length): the
// rows it takes in the interface font when wrapped at `wrap` inside a room `room` wide,
// as OGL_wrap_lines gives them, except that a row still wider than the room (a name
// with nowhere to wrap) is broken where the room ends.
std::vector<std::string> OGL_rows_within(const std::string& s, float wrap, float room);
// What a text gives way with, in its middle, and the fewest of its own bytes it keeps.
constexpr char ogl_given_way_mark[] = "...";
constexpr std::size_t ogl_kept_at_least = 8;
// `s` keeping `kept` of its bytes round "...": its start and its end, the end holding
// the last name of a path (the folder's, the file's) whole where it can.
std::string OGL_given_way(const std::string& s, std::size_t kept);
// `s` as it fits in `max_rows` rows of OGL_rows_within: unchanged when it does; else
// the longest of `names` (paths inside it) gives way in its middle, keeping as much of
// itself as fits, then the next, and last the whole text.
std::string OGL_fit_rows(const std::string& s, const std::vector<std::string>& names, float wrap, float room,
                         int max_rows);
// How many rows of a text at y stay clear of something whose top is at `top`.
int OGL_rows_above(float y, float top);
// Draws rows from y down, a line height apart, each on its own.
void OGL_string_rows(int colour, float x, float y, const std::vector<std::string>& rows, int charset, int align);
// The text OGL_number draws in charsets other than 102.
std::string OGL_number_text(float value, int digits, int decimals);
// The glyphs OGL_number draws in charset 102: each byte at its x offset from the
// number's x (after the dialog origin and rounding).
struct ogl_placed_glyph {
	float dx;
	char c;
};
std::vector<ogl_placed_glyph> OGL_number_cells(float value, int digits, int decimals);

// --- window background and screenshots ---
void OGL_make_back_tex();
void OGL_plot_back_tex();
void OGL_screenshot(int save);
// The background picture's file, an edition setting.
extern std::string back_tex_path;
