// Drawing-layer benchmark on a headless context (Mesa's software renderer):
//   text:  about 2,000 glyphs of wrapped text a frame through OGL_string, against the
//          same quads sent by a bare glBegin/glEnd loop, in the same run;
//   frame: a wizard-like frame at 800 x 600 (background quad, 1,500 glyphs, 50
//          rectangles, 20 textured quads).
// Every frame ends with glFinish, so the renderer's work is counted. Prints medians.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_globals.h"
#include "support/gl_test_context.h"

namespace {

constexpr int frames_default = 200, warmup = 20;
constexpr int text_colour = 100;

double now_ms()
{
	using namespace std::chrono;
	return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

template <class F>
double median_frame_ms(int frames, F draw)
{
	std::vector<double> t;
	for (int i = 0; i < warmup + frames; ++i) {
		const double a = now_ms();
		glClear(GL_COLOR_BUFFER_BIT);
		draw();
		glFinish();
		if (i >= warmup) t.push_back(now_ms() - a);
	}
	std::sort(t.begin(), t.end());
	return t[t.size() / 2];
}

// Alternates the two frames so that a busy machine slows both alike.
template <class F, class G>
std::pair<double, double> median_pair_ms(int frames, F a, G b)
{
	std::vector<double> ta, tb;
	for (int round = 0; round < 10; ++round) {
		ta.push_back(median_frame_ms(frames / 10 + 1, a));
		tb.push_back(median_frame_ms(frames / 10 + 1, b));
	}
	std::sort(ta.begin(), ta.end());
	std::sort(tb.begin(), tb.end());
	return {ta[ta.size() / 2], tb[tb.size() / 2]};
}

void point_scratch()
{
	const uintptr_t p = reinterpret_cast<uintptr_t>(scratch_array_storage);
	scratch_array = scratch_array_storage + ((16 - p % 16) % 16);
}

void upload(int ref, int w, int h, unsigned seed)
{
	std::srand(seed);
	for (size_t i = 0; i < size_t(w) * h * 4; ++i) scratch_array[i] = static_cast<unsigned char>(std::rand());
	scratch_dx = w;
	scratch_dy = h;
	tman.load_texture(tex_fail_fatal, ref, 0, tex_loaded, "scratch_array-bench");
}

// Words of interface text, about 2,000 glyphs.
std::string paragraph(int glyphs)
{
	static const char* words[] = {"Kestrix", "installer", "scenery", "folder", "copy", "DVD", "files", "the",
	                              "checking", "global", "tiles", "Continue", "repair", "version"};
	std::string s;
	int n = 0;
	for (int i = 0; n < glyphs; ++i) {
		const std::string w = words[i % 14];
		s += w + " ";
		n += int(w.size()) + 1;
	}
	return s;
}

struct quad {
	float x, y, s, t;
};

// The quads OGL_string sends for the text: the same layout, made once.
std::vector<quad> text_quads(const std::string& s, float x, float y, float wrap)
{
	std::vector<quad> q;
	const float xs = std::round(x), cw = 14, ch = 15;
	float ys = std::round(y - 2);
	for (const std::string& line : OGL_wrap_lines(s, wrap, 0)) {
		float px = xs;
		for (unsigned char c : line) {
			if (c == '\r' || c == '\n' || c == '\t') continue;
			const ogl_cell cell = OGL_glyph_cell(c, 100);
			const float xi = std::trunc(px), yi = std::trunc(ys) - 4;
			const float s0 = cell.col * cw / 512, t0 = cell.row * ch / 512, ds = cw / 512, dt = ch / 512;
			q.push_back({xi, yi, s0, t0});
			q.push_back({xi, yi + ch, s0, t0 + dt});
			q.push_back({xi + cw, yi + ch, s0 + ds, t0 + dt});
			q.push_back({xi + cw, yi, s0 + ds, t0});
			px += ui_char_advance[c];
		}
		ys -= 10;
	}
	return q;
}

}  // namespace

int main(int argc, char** argv)
{
	int frames = frames_default;
	for (int i = 1; i < argc; ++i)
		if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::atoi(argv[++i]);

	GlTestContext gl(800, 600);
	if (!gl.ok()) {
		std::fprintf(stderr, "no headless OpenGL: %s\n", gl.why().c_str());
		return 1;
	}
	mnw.res_x = 800;
	mnw.res_y = 600;
	mnw.current_window = 0;
	ren.tex_units = 4;
	OGL_pix_specs(0);
	point_scratch();
	upload(t_interface, 512, 512, 1);
	upload(t_background, 800, 600, 2);
	upload(t_elements, 1024, 70, 3);
	colr.assign(34, 0.2f, 0.2f, 0.3f);
	colr.assign(103, 1, 1, 1);
	colr.assign(45, 0.9f, 0.9f, 0.9f);

	// Text: 2,000 glyphs wrapped at 760 units.
	const std::string text = paragraph(2000);
	int glyphs = 0;
	for (char c : text) glyphs += c != ' ' ? 1 : 0;
	const std::vector<quad> q = text_quads(text, 20, 580, 760);
	const auto [t_string, t_bare] = median_pair_ms(
		frames, [&] { OGL_string(text_colour, 20, 580, text, 760, 100, 0); },
		[&] {
		float s0, t0, cw, ch;
		OGL_strtex(100, text_colour, &s0, &t0, &cw, &ch);
		glBegin(GL_QUADS);
		for (const quad& v : q) {
			glTexCoord2f(v.s, v.t);
			glVertex2f(v.x, v.y);
		}
		glEnd();
		});
	std::printf("text: %zu glyphs (%d not spaces) OGL_string %.3f ms, bare loop %.3f ms, ratio %.2f (goal <= 1.25)\n",
	            q.size() / 4, glyphs, t_string, t_bare, t_string / t_bare);

	// A wizard-like frame.
	const std::string frame_text = paragraph(1500);
	const double t_frame = median_frame_ms(frames, [&] {
		OGL_2dquad(t_background, 103, 1.0f, 0, 0, 0, 0, 0, 600, 0, 1, 800, 600, 1, 1, 800, 0, 1, 0, 1, al_test);
		for (int i = 0; i < 50; ++i) OGL_fillrect(i % 40, 0.8f, float(20 + (i % 10) * 75), float(40 + (i / 10) * 30), 60, 20);
		for (int i = 0; i < 20; ++i)
			OGL_2dquad_d(t_elements, 103, 1.0f, float(30 + (i % 10) * 75), float(220 + (i / 10) * 40), 0, 0, 100, 23,
			             100.0f / 1024, 23.0f / 70, al_blend);
		OGL_string(45, 20, 560, frame_text, 760, 100, 0);
	});
	std::printf("frame: background, 1,500 glyphs, 50 rectangles, 20 textured quads at 800 x 600: %.3f ms (goal < 8 ms)\n",
	            t_frame);
	return 0;
}
