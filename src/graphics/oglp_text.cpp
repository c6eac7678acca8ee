// Bitmap-font text: glyph cells in a texture atlas, one textured quad a character.
// Measuring, wrapping and number formatting are pure functions under the drawing calls.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"

float oglp = 1.0f;

namespace {

// Every charset's cells start at texture pixel (0, 0); the divisor is the same for all.
constexpr float atlas_size = 512.0f;
constexpr float glyph_drop = 4.0f;       // a glyph's quad starts this far below the pen
constexpr float string_drop = 2.0f;      // OGL_string's baseline below the given y
constexpr float line_height = ui_line_height;
constexpr float wrap_off = 9999.0f;      // wrap widths at or above this draw one line
constexpr int word_estimate_advance = 6;  // estimated advance of a character of the next word
constexpr float gray_pad = 2.0f, gray_top = 8.0f;
constexpr float gray_alpha = 0.5f;
// OGL_boxed_string: a text-field frame (bar style 9, tinted with palette entry 0) a
// little wider than its text, raised to sit round the baseline, the label parts a gap
// beside it and the text inset from its left end.
constexpr int box_frame_style = 9;
constexpr int box_frame_colour = 0;
constexpr float box_room = 7.0f;
constexpr float box_other_width = 100.0f;  // charsets without a width rule
constexpr float box_rise = 3.0f;
constexpr float box_label_gap = 8.0f;
constexpr float box_text_inset = 4.0f;
constexpr int label_ends_at_x = 0, label_starts_at_x = 2;
constexpr int max_number_digits = 11;
constexpr int menu_cols = 40;  // charset 103's cells in a row

// The fatal alert of an unknown charset: its line and source location.
constexpr const char* bad_charset_line = "String proc with bad charset!";
constexpr const char* alert_src = "oglp";
constexpr int bad_charset_src_line = 494;

struct charset_info {
	int charset;
	int tex_ref;
	float cell_w, cell_h;
	int advance;  // 0: the proportional table
};
const charset_info charsets[] = {
	{charset_UI_diff_space, t_interface, 14, 15, 0},
	{charset_UI_fixed_space, t_interface, 14, 15, 10},
	{charset_UI_menus_KOR, t_menu_font, 13, 13, 15},
};

// The glyph rows of charsets 100 and 102, 21 cells each; bytes not found use the blank
// cell (0, 0).
const char* const glyph_rows[] = {
	" 0123456789AaBbCcDdEe",
	"FfGgHhIiJjKkLlMmNnOoP",
	"pQqRrSsTtUuVvWwXxYyZz",
	"!@#$%^&*()-_+=[]|\\':;",
	"<.>,?/`\xFB\xC1\xE1\xC9\xE9\xCD\xED\xD3\xF3\xDA\xFA\xD1\xF1\xBF",
};

struct cell_table {
	ogl_cell cell[256];
	cell_table()
	{
		for (ogl_cell& c : cell) c = {0, 0};
		for (int row = 0; row < 5; ++row)
			for (int col = 0; glyph_rows[row][col]; ++col)
				cell[static_cast<unsigned char>(glyph_rows[row][col])] = {col, row};
	}
};
const cell_table cells;

const charset_info* find_charset(int charset)
{
	for (const charset_info& c : charsets)
		if (c.charset == charset) return &c;
	return nullptr;
}

// What the boxed string borrows from the widget toolkit; empty until the toolkit hands
// it over (during static initialisation, so constant-initialised here).
constinit ogl_box_pieces box_pieces{};

int advance_of(unsigned char c, int adv) { return adv > 0 ? adv : ui_char_advance[c]; }

bool is_break(char c) { return c == ' ' || c == '-' || c == '/'; }

double pow10i(int p) { return std::pow(10.0, p); }

// The digit of r at decimal position p, in floating point so that no value is too
// large to convert.
int digit_at(double r, int p)
{
	const double d = std::fmod(std::trunc(r / pow10i(p)), 10.0);
	return (d >= 0 && d <= 9) ? int(d) : 0;
}

// The boxed string's frame width: 10 units a character in the fixed charset, the text's
// width in the proportional one, each with room for the frame's ends.
float boxed_width(const std::string& text, int charset)
{
	if (charset == charset_UI_fixed_space)
		return float(find_charset(charset)->advance) * float(text.size()) + box_room;
	if (charset == charset_UI_diff_space) return float(ui_text_width(text)) + box_room;
	return box_other_width;
}

// NaN and infinity format as zero.
float finite_or_zero(float v) { return std::isfinite(v) ? v : 0.0f; }

}  // namespace

// --- pure helpers ---

int ui_text_width(const std::string& s)
{
	int w = 0;
	for (unsigned char c : s) w += ui_char_advance[c];
	return w;
}

float ui_text_start_x(float x, int width, int align)
{
	if (align == 1) return x - 0.5f * float(width);
	if (align == 2) return x - float(width);
	return x;
}

ogl_band OGL_line_band(float y, int line)
{
	const float bottom = y - string_drop - glyph_drop - line_height * float(line);
	return {bottom, bottom + find_charset(charset_UI_diff_space)->cell_h};
}

ogl_cell OGL_glyph_cell(unsigned char c, int charset)
{
	if (charset == charset_UI_menus_KOR) return {c % menu_cols, c / menu_cols};
	return cells.cell[c];
}

std::vector<std::string> OGL_wrap_lines(const std::string& s, float wrap_width, int adv)
{
	std::vector<std::string> lines;
	if (wrap_width <= 0 || wrap_width >= wrap_off) {
		lines.push_back(s);
		return lines;
	}
	// Pen positions are measured from the line's start.
	const float limit = wrap_width;
	std::string line;
	float cx = 0;
	const size_t n = s.size();
	size_t i = 0;
	while (i < n) {
		const char c = s[i];
		line += c;
		cx += float(advance_of(static_cast<unsigned char>(c), adv));
		if (c == '\n' || i == n - 1) {
			lines.push_back(line);
			line.clear();
			cx = 0;
			++i;
		} else if (!is_break(c)) {
			++i;
		} else {
			const size_t j = i + 1;
			float e = cx;
			if (j < n && !is_break(s[j])) {
				size_t k = j;
				while (k < n && !is_break(s[k])) ++k;
				e = cx + float(word_estimate_advance * int(k - j));
			}
			if (e > limit) {
				lines.push_back(line);
				line.clear();
				cx = 0;
			}
			i = j;
		}
	}
	return lines;
}

namespace {
// A row's trailing blank and line end take no room that shows.
int shown_width(const std::string& row)
{
	size_t end = row.size();
	while (end > 0 && (row[end - 1] == ' ' || row[end - 1] == '\n')) --end;
	return ui_text_width(row.substr(0, end));
}

// Where the last name of a path starts: at its "/" (a folder's final "/" left aside).
size_t last_name_at(const std::string& s)
{
	if (s.size() < 2) return std::string::npos;
	return s.rfind('/', s.size() - 2);
}
}  // namespace

std::vector<std::string> OGL_rows_within(const std::string& s, float wrap, float room)
{
	std::vector<std::string> rows;
	for (const std::string& row : OGL_wrap_lines(s, wrap, 0)) {
		if (float(shown_width(row)) <= room) {
			rows.push_back(row);
			continue;
		}
		std::string part;
		float x = 0;
		for (const char c : row) {
			const float a = float(advance_of(static_cast<unsigned char>(c), 0));
			if (!part.empty() && x + a > room && c != ' ' && c != '\n') {
				rows.push_back(part);
				part.clear();
				x = 0;
			}
			part += c;
			x += a;
		}
		if (!part.empty()) rows.push_back(part);
	}
	return rows;
}

std::string OGL_given_way(const std::string& s, size_t kept)
{
	if (kept >= s.size()) return s;
	size_t tail = kept - kept / 2;
	// The end names what the path is, so it keeps the last name whole while the start
	// still keeps a little of itself.
	const size_t at = last_name_at(s);
	if (at != std::string::npos) {
		const size_t head_floor = std::min(kept / 2, ogl_kept_at_least / 2);
		tail = std::max(tail, std::min(s.size() - at, kept - head_floor));
	}
	return s.substr(0, kept - tail) + ogl_given_way_mark + s.substr(s.size() - tail);
}

std::string OGL_fit_rows(const std::string& s, const std::vector<std::string>& names, float wrap, float room,
                         int max_rows)
{
	const auto fits = [&](const std::string& t) { return int(OGL_rows_within(t, wrap, room).size()) <= max_rows; };
	if (fits(s)) return s;
	std::vector<std::string> giving = names;
	std::stable_sort(giving.begin(), giving.end(), [](const std::string& a, const std::string& b) {
		return a.size() > b.size();
	});
	std::string shown = s;
	const size_t whole = giving.size();  // the whole text gives way last
	for (size_t i = 0; i <= whole; ++i) {
		const std::string name = i == whole ? shown : giving[i];
		const size_t at = i == whole ? 0 : shown.find(name);
		if (name.size() <= ogl_kept_at_least || at == std::string::npos) continue;
		const auto with = [&](size_t kept) {
			return shown.substr(0, at) + OGL_given_way(name, kept) + shown.substr(at + name.size());
		};
		// Keeps as much of the name as fits: the rows a text takes grow with its length.
		size_t lo = ogl_kept_at_least, hi = name.size() - 1;
		if (!fits(with(lo))) {
			shown = with(lo);
			continue;
		}
		while (lo < hi) {
			const size_t mid = lo + (hi - lo + 1) / 2;
			if (fits(with(mid)))
				lo = mid;
			else
				hi = mid - 1;
		}
		return with(lo);
	}
	return shown;
}

int OGL_rows_above(float y, float top)
{
	int n = 0;
	while (OGL_line_band(y, n).bottom >= top) ++n;
	return n;
}

void OGL_string_rows(int colour, float x, float y, const std::vector<std::string>& rows, int charset, int align)
{
	for (const std::string& row : rows) {
		OGL_string(colour, x, y, row, wrap_off, charset, align);
		y -= line_height;
	}
}

std::string OGL_number_text(float value, int digits, int decimals)
{
	value = finite_or_zero(value);
	double a = std::fabs(value);
	const float scaled = float(pow10i(decimals)) * float(a);
	const double r = double(scaled) + 0.5;
	std::string out = (value < 0 && scaled > 0.1f) ? "-" : "";

	static const double bounds[] = {9, 99, 999, 9999, 99999, 999999, 9999999, 1e8, 1e9};
	int n = 10;
	for (int i = 0; i < 9; ++i)
		if (scaled <= bounds[i]) {
			n = i + 1;
			break;
		}
	const int need = std::max(n, decimals + 1);
	if (digits < need) {
		int e = 2;
		while (a >= 999) {
			a /= 10;
			++e;
		}
		const int m = int(std::round(a));
		out += char('0' + (m / 100) % 10);
		out += '.';
		out += char('0' + (m / 10) % 10);
		out += char('0' + m % 10);
		out += 'x';
		out += e >= 10 ? '0' : char('0' + e);
		return out;
	}
	const int k = digits - decimals;
	for (int p = digits - 1; p >= 0; --p) {
		if (p + 1 == decimals && k > 0) out += '.';
		// Integer positions from this one on. A separator stands only between digits of
		// the number itself, never among its leading zeros (42 in five digits is 00042).
		const int int_left = p - decimals + 1;
		if ((int_left == 3 || int_left == 6 || int_left == 9) && k > int_left && r >= pow10i(p + 1)) out += ',';
		out += char('0' + digit_at(r, p));
	}
	return out;
}

std::vector<ogl_placed_glyph> OGL_number_cells(float value, int digits, int decimals)
{
	constexpr float adv = 10;  // charset 102's fixed advance
	value = finite_or_zero(value);
	const double a = std::fabs(value);
	const float scaled = float(pow10i(decimals)) * float(a);
	const double r = double(scaled) + 0.5;
	std::vector<ogl_placed_glyph> g;
	const float x0 = -adv;
	if (value < 0 && scaled > 0.1f) g.push_back({x0 + 1, '-'});
	const int k = digits - decimals;
	if (decimals >= 1) g.push_back({x0 + (float(k) + 0.5f) * adv, '.'});
	for (int sep : {3, 6, 9})
		if (k > sep) g.push_back({x0 + (float(k - sep) + 0.5f) * adv, ','});
	float x = x0;
	for (int p = std::min(digits, max_number_digits) - 1; p >= 0; --p) {
		x += adv;
		g.push_back({x, char('0' + digit_at(r, p))});
	}
	return g;
}

// --- drawing ---

int OGL_strtex(int charset, int colour, float* s0, float* t0, float* cell_w, float* cell_h)
{
	const charset_info* cs = find_charset(charset);
	*s0 = *t0 = *cell_w = *cell_h = 0;
	if (!cs) {
		__DIDIVI_alert(0, bad_charset_line, "", "", "", t_exit, alert_src, bad_charset_src_line);
		return 0;
	}
	OGL_setstate(fog_fals, 1, lit_fals, al_blend, deR_fals, deW_fals);
	OGL_palette_colour(colour, 1.0f);
	tman.bind_ref(cs->tex_ref, 0, 0);
	*s0 = 0;
	*t0 = 0;
	*cell_w = cs->cell_w;
	*cell_h = cs->cell_h;
	return cs->advance;
}

void OGL_char(float x, float y, float s0, float t0, float cell_w, float cell_h, int c, int charset)
{
	const float xi = std::trunc(x), yi = std::trunc(y) - glyph_drop;
	const ogl_cell cell = OGL_glyph_cell(static_cast<unsigned char>(c), charset);
	const float s = (s0 + float(cell.col) * cell_w) / atlas_size, t = (t0 + float(cell.row) * cell_h) / atlas_size;
	const float ds = cell_w / atlas_size, dt = cell_h / atlas_size;
	float w = cell_w, h = cell_h;
	if (oglp > 1.0f) {
		w *= oglp;
		h *= oglp;
	}
	glTexCoord2f(s, t);
	glVertex2f(xi, yi);
	glTexCoord2f(s, t + dt);
	glVertex2f(xi, yi + h);
	glTexCoord2f(s + ds, t + dt);
	glVertex2f(xi + w, yi + h);
	glTexCoord2f(s + ds, t);
	glVertex2f(xi + w, yi);
}

namespace {
ogl_text_observer_fn text_observer = nullptr;
}  // namespace

ogl_text_observer_fn OGL_set_text_observer(ogl_text_observer_fn f)
{
	ogl_text_observer_fn old = text_observer;
	text_observer = f;
	return old;
}

void str_one_line(int colour, float x, float y, const std::string& s, int charset, int align)
{
	float s0, t0, cw, ch;
	const int adv = OGL_strtex(charset, colour, &s0, &t0, &cw, &ch);
	x = ui_text_start_x(x, ui_text_width(s), align);
	if (text_observer) text_observer(colour, x, y, s, charset);
	glBegin(GL_QUADS);
	for (unsigned char c : s) {
		if (c == '\r' || c == '\n' || c == '\t') continue;
		OGL_char(x, y, s0, t0, cw, ch, c, charset);
		x += float(advance_of(c, adv));
	}
	glEnd();
}

float OGL_string(int colour, float x, float y, const std::string& s, float wrap_width, int charset, int align)
{
	float s0, t0, cw, ch;
	const int adv = OGL_strtex(charset, colour, &s0, &t0, &cw, &ch);
	const float xs = std::round(x + mnw.dialog_x);
	float ys = std::round(y + mnw.dialog_y - string_drop);
	if (wrap_width <= 0 || wrap_width >= wrap_off) {
		str_one_line(colour, xs, ys, s, charset, align);
		return ys - mnw.dialog_y + string_drop;
	}
	for (const std::string& line : OGL_wrap_lines(s, wrap_width, adv)) {
		str_one_line(colour, xs, ys, line, charset, align);
		ys -= line_height;
	}
	return ys - mnw.dialog_y + string_drop;
}

void OGL_number(int colour, float x, float y, float value, int digits, int decimals, int charset)
{
	if (charset != charset_UI_fixed_space) {
		OGL_string(colour, x, y, OGL_number_text(value, digits, decimals), wrap_off, charset, 0);
		return;
	}
	float s0, t0, cw, ch;
	OGL_strtex(charset, colour, &s0, &t0, &cw, &ch);
	const float xb = std::round(x + mnw.dialog_x), yb = std::round(y + mnw.dialog_y) - string_drop;
	glBegin(GL_QUADS);
	for (const ogl_placed_glyph& g : OGL_number_cells(value, digits, decimals))
		OGL_char(xb + g.dx, yb, s0, t0, cw, ch, static_cast<unsigned char>(g.c), charset);
	glEnd();
}

void OGL_gray_string(int colour, float x, float y, std::string s)
{
	const float half = float(ui_text_width(s)) / 2;
	OGL_grayrect(x - half - gray_pad, y - gray_pad, x + half + gray_pad, y + gray_top, gray_alpha);
	OGL_string(colour, x - half, y, s, wrap_off, charset_UI_diff_space, 0);
}

void OGL_set_box_pieces(const ogl_box_pieces& pieces) { box_pieces = pieces; }

void OGL_boxed_string(float x, float y, const std::string& label, const std::string& text, int charset, int colour)
{
	const float w = boxed_width(text, charset);
	const ogl_box_pieces p = box_pieces;
	if (p.expand_label && p.frame1 && p.draw_label) {
		std::string left, right, help;
		p.expand_label(label, &left, &right, &help);
		p.frame1(box_frame_style, x, y + box_rise, w, box_frame_colour);
		p.draw_label(x - w / 2 - box_label_gap, y, label_ends_at_x, left, 0);
		p.draw_label(x + w / 2 + box_label_gap, y, label_starts_at_x, right, 0);
	}
	OGL_string(colour, x - w / 2 + box_text_inset, y, text, wrap_off, charset, 0);
}
