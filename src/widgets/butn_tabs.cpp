// Four small pieces: the tab of a tab row, the compass dial, the browser's side panels
// with their preview of an aircraft or a recording, and the latitude/longitude rows.
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>

#include "graphics/ogl_draw.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_globals.h"
#include "runtime/xmap.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"

float io_cx = 155, io_cy = 0, io_dx = 290, io_dy = 220;

namespace {

constexpr float kAtlas = 512;
constexpr int kCharsetUI = charset_UI_diff_space;

void atlas_quad(float x1, float y1, float x2, float y2, float s1, float t1, float s2, float t2)
{
	// Clockwise on screen, as every 2-D quad of the toolkit.
	OGL_2dquad(btn_tex_interface, 0, 1, x1, y1, s1 / kAtlas, t1 / kAtlas, x1, y2, s1 / kAtlas, t2 / kAtlas, x2, y2,
	           s2 / kAtlas, t2 / kAtlas, x2, y1, s2 / kAtlas, t1 / kAtlas, 1, al_blend);
}

// Tabs.
constexpr float kTabPitch = 88, kTabInset = 53, kTabTop = 38, kTabRowPitch = 32;
constexpr float kTabHitLeft = 50, kTabHitRight = 40, kTabHalfH = 13, kTabImageHalfW = 49;
constexpr float kTabS1 = 204, kTabS2 = 302;
constexpr float kTabOnT1 = 486, kTabOnT2 = 512, kTabOffT1 = 459, kTabOffT2 = 485;
constexpr float kTabLabelInset = 40, kTabLabelDrop = 4;
constexpr int kTabOnColour = 41, kTabOffColour = 42;

// Dial.
constexpr float kNeedleHalfW = 5, kNeedleHalfH = 21, kNeedleS1 = 156, kNeedleS2 = 166;
constexpr float kNeedleT1[2] = {315, 272}, kNeedleT2[2] = {357, 314};
constexpr float kFaceHalfW = 28, kFaceHalfH = 29, kFaceS1 = 178, kFaceS2 = 234, kFaceT1 = 160, kFaceT2 = 218;
constexpr float kDialReach = 30, kHeadingInsetX = 14, kHeadingDrop = 2;
constexpr int kHeadingColour = 45, kHeadingDigits = 3;
constexpr float kFullTurn = 360;

// Preview panel.
constexpr int kOpenWindow = 998;
constexpr int kPanelStyle = 15, kInsideKind = 21;
constexpr float kTextPanelX = 10, kTextPanelY = 300, kTextPanelH = 120;
constexpr float kSideX = 331, kImagePanelY = 70, kSidePanelW = 220, kImagePanelH = 220, kInfoPanelY = 300,
                kInfoPanelH = 120;
constexpr int kTypeAircraft = 3, kTypeRecording = 8, kTypeSimFolder = 20;
constexpr float kInfoX = 341, kInfoTop = 405, kInfoWrap = 200, kCommentY = 270;
constexpr int kInfoColour = 47, kImageColour = 49;
constexpr float kImageX1 = 341, kImageY1 = 80, kImageX2 = 541, kImageY2 = 280;
constexpr int kPreviewRef = 408, kPreviewFlags = 1297;
constexpr int kHeaderBlock = 2092;
const int veh_versions[] = {700, 740, 8000, 810, 830, 840, 860, 900, 901, 902, 0};
const int kRecordingVersions[] = {1, 0};
struct header_field {
	int offset, size;
};
constexpr header_field kHeaderStrings[] = {{1552, 500}, {1052, 500}, {2052, 40}, {1012, 40}};
constexpr const char* kIconSuffix = "_icon.png";
constexpr size_t kExtLen = 4;

struct preview_state {
	std::string last_path;
	std::string comment;
	std::array<char, kHeaderBlock> header{};
	int has_image = 0;
} preview;

std::string without_extension(const std::string& p)
{
	if (p.size() > kExtLen && p[p.size() - kExtLen] == '.') return p.substr(0, p.size() - kExtLen);
	return p;
}

void read_aircraft(const std::string& path)
{
	preview.header.fill(0);
	xmap_class f(path);
	if (f.begin && f.check_file(xmap_binary, veh_versions, nullptr, nullptr) != 0 && f.end - f.cur >= kHeaderBlock)
		f.read_n_rev(reinterpret_cast<long>(preview.header.data()), kHeaderBlock);
	preview.has_image = tman.load_texture(tex_fail_silent, kPreviewRef, kPreviewFlags, tex_loaded,
	                                      without_extension(path) + kIconSuffix) != 0;
}

std::string skip_blanks(const std::string& s, size_t from)
{
	while (from < s.size() && (s[from] == ' ' || s[from] == '\t')) ++from;
	return s.substr(std::min(from, s.size()));
}

void read_recording(const std::string& path)
{
	preview.comment.clear();
	xmap_class f(path);
	if (!f.begin || f.check_file(xmap_text, kRecordingVersions, nullptr, nullptr) == 0) return;
	while (f.cur < f.end) {
		std::string line;
		f.TXT_str_scan_eoln(&line);
		const std::string rest = skip_blanks(line, 0);
		const size_t comma = rest.find(',');
		std::string first = rest.substr(0, comma);
		for (char& c : first) c = char(std::toupper(static_cast<unsigned char>(c)));
		if (first != "COMM") continue;
		preview.comment = comma == std::string::npos ? std::string() : skip_blanks(rest, comma + 1);
		return;
	}
}

void draw_aircraft()
{
	float y = kInfoTop;
	for (const header_field& h : kHeaderStrings) {
		const char* p = preview.header.data() + h.offset;
		y = OGL_string(kInfoColour, kInfoX, y, std::string(p, strnlen(p, size_t(h.size))), kInfoWrap, kCharsetUI, 0);
	}
	if (!preview.has_image) return;
	float s = 1, t = 1;
	{
		std::lock_guard<std::recursive_mutex> hold(tman.lock);
		const auto& r = tman.ref_dat[kPreviewRef];
		if (r.tex_dx > 0) s = r.img_dx / r.tex_dx;
		if (r.tex_dy > 0) t = r.img_dy / r.tex_dy;
	}
	OGL_2dquad(kPreviewRef, kImageColour, 1, kImageX1, kImageY1, 0, 0, kImageX1, kImageY2, 0, t, kImageX2, kImageY2, s,
	           t, kImageX2, kImageY1, s, 0, 1, al_none);
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// Latitude and longitude.
constexpr float kRowDrop = 50, kMinutesShift = 50, kLatShift = 10;
constexpr float kMinutesPerDegree = 60;

}  // namespace

int BTN_tab(int column, int row, int* selected, int id, std::string label)
{
	const float cx = float(column) * kTabPitch + kTabInset;
	const float cy = mnw.window_height - kTabTop - float(row) * kTabRowPitch;
	int r = 0;
	if (mnw.mouse_down && BTN_box{cx - kTabHitLeft, cy - kTabHalfH, cx + kTabHitRight, cy + kTabHalfH}.contains(
	                          mnw.mouse_x, mnw.mouse_y)) {
		*selected = id;
		r = 1;
	}
	const bool on = *selected == id;
	atlas_quad(cx - kTabImageHalfW, cy - kTabHalfH, cx + kTabImageHalfW, cy + kTabHalfH, kTabS1,
	           on ? kTabOnT1 : kTabOffT1, kTabS2, on ? kTabOnT2 : kTabOffT2);
	OGL_string(on ? kTabOnColour : kTabOffColour, cx - kTabLabelInset, cy - kTabLabelDrop, label, 0, kCharsetUI, 0);
	return r;
}

float BTN_dial_heading(float dx, float dy)
{
	float h = float(std::atan2(dx, dy) * 180.0 / M_PI);
	while (h < 0) h += kFullTurn;
	while (h > kFullTurn) h -= kFullTurn;
	return h;
}

void plot_dir(float x, float y, float* heading, int style)
{
	const int st = style == 0 ? 0 : 1;
	glMatrixMode(GL_MODELVIEW);
	glPushMatrix();
	// The layer adds the dialog origin to every vertex: turn about the dial's place on screen.
	glTranslatef(x + mnw.dialog_x, y + mnw.dialog_y, 0);
	glRotatef(-*heading, 0, 0, 1);
	glTranslatef(-mnw.dialog_x, -mnw.dialog_y, 0);
	atlas_quad(-kNeedleHalfW, -kNeedleHalfH, kNeedleHalfW, kNeedleHalfH, kNeedleS1, kNeedleT1[st], kNeedleS2,
	           kNeedleT2[st]);
	glPopMatrix();
	atlas_quad(x - kFaceHalfW, y - kFaceHalfH, x + kFaceHalfW, y + kFaceHalfH, kFaceS1, kFaceT1, kFaceS2, kFaceT2);
	OGL_number(kHeadingColour, x - kHeadingInsetX, y - kHeadingDrop, *heading, kHeadingDigits, 0,
	           charset_UI_fixed_space);
	if (mnw.mouse_held && BTN_box_around(x, y, kDialReach, kDialReach).contains(mnw.mouse_x, mnw.mouse_y))
		*heading = BTN_dial_heading(mnw.mouse_x - x, mnw.mouse_y - y);
}

void stand_io_dialog(int open_save, int file_type, std::string path)
{
	OGL_plot_back_col();
	BTN_fillwin(1, kInsideKind);
	BTN_frame2(kPanelStyle, kTextPanelX, kTextPanelY, io_dx, kTextPanelH, "");
	if (open_save == kOpenWindow &&
	    (file_type == kTypeAircraft || file_type == kTypeRecording || file_type == kTypeSimFolder)) {
		BTN_frame2(kPanelStyle, kSideX, kImagePanelY, kSidePanelW, kImagePanelH, "");
		BTN_frame2(kPanelStyle, kSideX, kInfoPanelY, kSidePanelW, kInfoPanelH, "");
	}
	const bool fresh = path != preview.last_path;
	if (open_save == kOpenWindow && file_type == kTypeAircraft && (contains(path, ".acf") || contains(path, ".ACF"))) {
		if (fresh) read_aircraft(path);
		draw_aircraft();
	} else if (open_save == kOpenWindow && file_type == kTypeRecording && contains(path, ".fdr")) {
		if (fresh) read_recording(path);
		if (!preview.comment.empty())
			OGL_string(kInfoColour, kInfoX, kCommentY, preview.comment, kInfoWrap, kCharsetUI, 0);
	}
	preview.last_path = path;
}

namespace {
struct lat_lon_parts {
	float degrees, minutes, min_minutes;
};
lat_lon_parts split_degrees(float v)
{
	const float d = std::trunc(v);
	if (d == 0) return {0, v * kMinutesPerDegree, -kMinutesPerDegree};
	return {d, std::fabs(v - d) * kMinutesPerDegree, 0};
}
float join_degrees(float d, float m)
{
	if (d == 0) return m / kMinutesPerDegree;
	return d + (d > 0 ? 1.0f : -1.0f) * m / kMinutesPerDegree;
}
}  // namespace

int enter_lat_lon(float* x, float* y, float* lon, float* lat)
{
	int changed = 0;
	lat_lon_parts a = split_degrees(*lon);
	*y -= kRowDrop;
	changed |= BTN_flt(*x, *y, &a.degrees, 3, 0, 1, "lon:");
	changed |= BTN_flt_range(*x + kMinutesShift, *y, &a.minutes, 5, 3, a.min_minutes, kMinutesPerDegree, "");

	lat_lon_parts b = split_degrees(*lat);
	*y -= kRowDrop;
	changed |= BTN_flt(*x + kLatShift, *y, &b.degrees, 2, 0, 1, "lat:");
	changed |= BTN_flt_range(*x + kMinutesShift, *y, &b.minutes, 5, 3, b.min_minutes, kMinutesPerDegree, "");

	*lon = join_degrees(a.degrees, a.minutes);
	*lat = join_degrees(b.degrees, b.minutes);
	return changed;
}
