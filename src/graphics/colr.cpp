#include "graphics/colr.h"

#include <cmath>
#include <cstring>

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
