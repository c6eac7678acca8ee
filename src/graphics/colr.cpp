#include "graphics/colr.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/oglp.h"

namespace {

struct start_entry {
	int index;
	float r, g, b;
};

// Entries not listed start black.
const start_entry start_palette[] = {
	{0, 1.0f, 1.0f, 1.0f},    {1, 1.0f, 0.2f, 0.2f},    {2, 1.0f, 1.0f, 0.2f},    {3, 0.7f, 0.7f, 0.7f},
	{4, 0.8f, 0.0f, 0.0f},    {5, 1.0f, 1.0f, 0.0f},    {6, 0.3f, 0.3f, 0.3f},    {7, 0.2f, 0.0f, 0.0f},
	{8, 1.0f, 0.8f, 0.2f},    {9, 0.1f, 0.1f, 0.1f},    {10, 0.0f, 0.8f, 0.0f},   {12, 0.0f, 0.0f, 0.0f},
	{13, 0.0f, 0.4f, 0.0f},   {15, 0.4f, 0.4f, 1.0f},   {17, 0.0f, 0.0f, 0.6f},   {18, 0.9f, 0.9f, 0.9f},
	{19, 0.8f, 0.1f, 0.1f},   {20, 0.9f, 0.9f, 1.0f},   {21, 0.9f, 0.9f, 0.9f},   {22, 0.1f, 0.1f, 0.1f},
	{23, 0.0f, 0.0f, 0.0f},   {24, 1.0f, 1.0f, 0.0f},   {25, 0.0f, 0.0f, 0.0f},   {26, 1.0f, 1.0f, 1.0f},
	{27, 1.0f, 1.0f, 1.0f},   {28, 1.0f, 1.0f, 1.0f},   {29, 1.0f, 1.0f, 0.0f},   {30, 0.0f, 0.0f, 0.0f},
	{31, 1.0f, 1.0f, 1.0f},   {32, 1.0f, 1.0f, 1.0f},   {33, 1.0f, 1.0f, 1.0f},   {49, 1.0f, 1.0f, 1.0f},
	{50, 0.4f, 1.0f, 0.4f},   {51, 1.0f, 0.4f, 0.4f},   {52, 1.0f, 1.0f, 0.6f},   {53, 0.7f, 0.7f, 1.0f},
	{54, 1.0f, 0.5f, 0.0f},   {55, 0.8f, 0.8f, 0.8f},   {56, 0.0f, 1.0f, 0.0f},   {57, 1.0f, 0.2f, 0.2f},
	{58, 1.0f, 1.0f, 0.2f},   {59, 0.4f, 0.4f, 1.0f},   {60, 0.5f, 0.3f, 0.0f},   {61, 0.5f, 0.5f, 0.5f},
	{62, 0.0f, 0.6f, 0.0f},   {63, 0.6f, 0.2f, 0.0f},   {64, 1.0f, 1.0f, 0.0f},   {65, 0.2f, 0.2f, 0.8f},
	{66, 1.0f, 0.4f, 0.0f},   {67, 0.2f, 0.2f, 0.2f},   {68, 0.0f, 0.2f, 0.0f},   {69, 1.0f, 0.0f, 0.0f},
	{70, 0.6f, 0.6f, 0.0f},   {71, 0.15f, 0.15f, 0.6f}, {72, 0.49f, 0.43f, 0.24f}, {73, 0.0f, 0.0f, 0.0f},
	{74, 0.0f, 0.1f, 0.0f},   {75, 1.0f, 0.2f, 1.0f},   {76, 1.0f, 0.0f, 1.0f},   {77, 0.0f, 1.0f, 1.0f},
	{78, 0.44f, 0.53f, 0.54f}, {85, 1.0f, 0.0f, 1.0f},  {86, 0.0f, 0.0f, 0.0f},   {87, 1.0f, 0.0f, 1.0f},
	{88, 1.0f, 1.0f, 1.0f},   {97, 0.5f, 0.5f, 0.4f},   {98, 1.0f, 0.3f, 0.0f},   {99, 0.5f, 0.5f, 0.4f},
	{100, 0.8f, 0.8f, 0.7f},  {101, 0.0f, 0.6f, 0.2f},  {102, 1.0f, 1.0f, 0.9f},
};

}  // namespace

colr_class::colr_class()
{
	std::memset(static_cast<void*>(this), 0, sizeof(*this));
	image_gamma = 1.8;
	display_gamma = 1.8;
	for (const start_entry& e : start_palette) assign(e.index, e.r, e.g, e.b);
	lites[0] = lites[1] = lites[2] = 1.0f;

	// The table maps i/255 through the power 1.0 (with sign symmetry), so it is the
	// identity; it is still computed the general way so a changed exponent stays right.
	const double exponent = 1.0;
	for (int i = 0; i < 256; ++i) {
		const double x = i / 255.0;
		const double y = x < 0 ? -std::pow(-x, exponent) : (x == 0 ? 0.0 : std::pow(x, exponent));
		gamma_table[i] = static_cast<unsigned char>(255.0 * y + 0.5);
	}
	// A NaN display gamma counts as different.
	gamma_on = (display_gamma == 1.8) ? 0 : 1;
}

void colr_class::assign(int i, float r, float g, float b)
{
	// An index outside the palette would write over the fields behind it.
	if (i < 0 || i >= colr_palette_size) return;
	palette[i][0] = r;
	palette[i][1] = g;
	palette[i][2] = b;
}

namespace {

// The interface never draws darker than this light level.
constexpr float interface_min_lite = 0.75f;

// The rainbow's anchors, red to violet.
const float roygbv_rgb_loc[6][3] = {
	{1.0f, 0.0f, 0.0f}, {1.0f, 0.32f, 0.08f}, {1.0f, 1.0f, 0.0f},
	{0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f},   {0.8f, 0.0f, 0.8f},
};
constexpr double rainbow_segment = 0.2;
constexpr int rainbow_segments = 5;

// The scale's labels and points.
constexpr int scale_colour = 0;
constexpr float scale_label_dx = 4.0f, scale_label_dy = 4.0f;
constexpr float scale_height = 1000.0f;
constexpr int scale_label_digits = 5;
constexpr int scale_step = 4;
constexpr float scale_point_size = 4.0f;

}  // namespace

void colr_class::set_lites_for_interface()
{
	// A NaN fails the comparison and so becomes the floor too.
	for (float& l : lites)
		if (!(l > interface_min_lite)) l = interface_min_lite;
}

void colr_class::spectrum_init(int mode)
{
	if (mode < 0 || mode > 3) return;
	for (int i = 0; i < colr_spectrum_size; ++i) {
		const double x = double(i) / colr_spectrum_size;
		float* e = spectrum[i];
		if (mode == 0) {
			int k = 0;
			while (k < rainbow_segments - 1 && x >= rainbow_segment * (k + 1)) ++k;
			const double f = (x - rainbow_segment * k) / rainbow_segment;
			for (int ch = 0; ch < 3; ++ch)
				e[ch] = float(roygbv_rgb_loc[k][ch] * (1 - f) + roygbv_rgb_loc[k + 1][ch] * f);
		} else {
			e[0] = e[1] = e[2] = 0;
			e[mode - 1] = float(x);
		}
	}
}

int spectrum_index(float v, float lo, float range)
{
	// The quotient is checked before it is converted: not finite or below 0 is entry 0.
	const double q = double(v - lo) / double(range) * colr_spectrum_size;
	if (!std::isfinite(q) || q < 0) return 0;
	return q >= colr_spectrum_size - 1 ? colr_spectrum_size - 1 : int(q);
}

void colr_class::spectrum_plotscale(float x, float y, float lo, float hi, int decimals)
{
	spec_hi = hi;
	OGL_number(scale_colour, x + scale_label_dx, y + scale_height - scale_label_dy, hi, scale_label_digits, decimals,
	           charset_UI_diff_space);
	spec_lo = lo;
	OGL_number(scale_colour, x + scale_label_dx, y - scale_label_dy, lo, scale_label_digits, decimals,
	           charset_UI_diff_space);
	spec_range = hi - lo;
	OGL_setstate(fog_fals, 0, lit_fals, al_blend, deR_fals, deW_fals);
	glPointSize(scale_point_size);
	glBegin(GL_POINTS);
	const float vmin = std::min(lo, hi), vmax = std::max(lo, hi);
	for (int j = 0; j < colr_spectrum_size; j += scale_step) {
		const float v = std::clamp((hi - lo) / (colr_spectrum_size - 1) * float(j) + lo, vmin, vmax);
		const float* c = spectrum[spectrum_index(v, lo, spec_range)];
		glColor3f(c[0], c[1], c[2]);
		glVertex2f(x, y + float(j));
	}
	glEnd();
	glPointSize(1.0f);
}

void colr_pulse(float p)
{
	struct pulse_entry {
		int index;
		double r, g, b;  // factors of p
	};
	static const pulse_entry entries[] = {
		{79, 1.0, 1.0, 1.0}, {80, 1.0, 0.5, 0.0}, {81, 1.0, 0.3, 0.3},
		{82, 0.3, 0.3, 1.0}, {83, 0.2, 0.8, 0.2}, {84, 0.7, 0.7, 0.2},
	};
	for (const pulse_entry& e : entries) colr.assign(e.index, float(e.r * p), float(e.g * p), float(e.b * p));
	colr.pulse = p;
}
