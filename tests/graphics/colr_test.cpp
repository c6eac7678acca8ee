// The palette's light floor and its colour ramp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "graphics/colr.h"

TEST(PaletteLites, InterfaceFloorRaisesEveryLevelToThreeQuarters)
{
	colr_class c;
	c.lites[0] = 0.2f;
	c.lites[1] = 0.9f;
	c.lites[2] = 0.75f;
	c.set_lites_for_interface();
	EXPECT_EQ(c.lites[0], 0.75f);
	EXPECT_EQ(c.lites[1], 0.9f);
	EXPECT_EQ(c.lites[2], 0.75f);

	c.lites[0] = std::numeric_limits<float>::quiet_NaN();
	c.lites[1] = -3.0f;
	c.lites[2] = 1.5f;
	c.set_lites_for_interface();
	EXPECT_EQ(c.lites[0], 0.75f);
	EXPECT_EQ(c.lites[1], 0.75f);
	EXPECT_EQ(c.lites[2], 1.5f);
}

TEST(PaletteSpectrum, RainbowAndSingleChannelRamps)
{
	colr_class c;
	c.spectrum_init(0);
	EXPECT_FLOAT_EQ(c.spectrum[0][0], 1.0f);
	EXPECT_FLOAT_EQ(c.spectrum[0][1], 0.0f);
	EXPECT_FLOAT_EQ(c.spectrum[0][2], 0.0f);
	// Entry 100 is x = 0.1, half-way from red to orange.
	EXPECT_NEAR(c.spectrum[100][1], 0.16f, 1e-6);
	EXPECT_NEAR(c.spectrum[100][2], 0.04f, 1e-6);
	// Entry 200 starts the second segment: orange itself.
	EXPECT_NEAR(c.spectrum[200][0], 1.0f, 1e-6);
	EXPECT_NEAR(c.spectrum[200][1], 0.32f, 1e-6);
	EXPECT_NEAR(c.spectrum[200][2], 0.08f, 1e-6);
	// 999 is nearly violet (0.8, 0, 0.8), coming from blue.
	EXPECT_NEAR(c.spectrum[999][0], 0.8f, 0.01f);
	EXPECT_NEAR(c.spectrum[999][1], 0.0f, 1e-6);
	EXPECT_NEAR(c.spectrum[999][2], 0.8f, 0.01f);
	EXPECT_GT(c.spectrum[999][2], 0.8f);

	c.spectrum_init(2);
	EXPECT_FLOAT_EQ(c.spectrum[500][0], 0.0f);
	EXPECT_FLOAT_EQ(c.spectrum[500][1], 0.5f);
	EXPECT_FLOAT_EQ(c.spectrum[500][2], 0.0f);
	c.spectrum_init(3);
	EXPECT_FLOAT_EQ(c.spectrum[250][2], 0.25f);
	EXPECT_FLOAT_EQ(c.spectrum[250][1], 0.0f);

	// An unknown mode leaves the table as it was.
	c.spectrum_init(7);
	c.spectrum_init(-1);
	EXPECT_FLOAT_EQ(c.spectrum[250][2], 0.25f);
}

TEST(PaletteSpectrum, ScaleIndexIsCheckedBeforeConversion)
{
	EXPECT_EQ(spectrum_index(5.0f, 0.0f, 10.0f), 500);
	EXPECT_EQ(spectrum_index(10.0f, 0.0f, 10.0f), 999);
	EXPECT_EQ(spectrum_index(-1.0f, 0.0f, 10.0f), 0);
	// lo = hi: the quotient is undefined and counts as below 0.
	EXPECT_EQ(spectrum_index(3.0f, 3.0f, 0.0f), 0);
	EXPECT_EQ(spectrum_index(4.0f, 3.0f, 0.0f), 0);
	EXPECT_EQ(spectrum_index(std::numeric_limits<float>::quiet_NaN(), 0.0f, 10.0f), 0);
	EXPECT_EQ(spectrum_index(1e30f, 0.0f, 1e-30f), 999);
}

TEST(PalettePulse, HighlightEntriesFollowThePulse)
{
	const colr_class saved = colr;
	colr_pulse(0.7f);
	EXPECT_EQ(colr.palette[79][0], 0.7f);
	EXPECT_EQ(colr.palette[79][2], 0.7f);
	EXPECT_EQ(colr.palette[80][1], float(0.5 * 0.7f));
	EXPECT_EQ(colr.palette[80][2], 0.0f);
	EXPECT_EQ(colr.palette[82][2], 0.7f);
	EXPECT_EQ(colr.palette[83][1], float(0.8 * 0.7f));
	EXPECT_EQ(colr.palette[84][2], float(0.2 * 0.7f));
	EXPECT_EQ(colr.pulse, 0.7f);
	EXPECT_EQ(colr.palette[78][0], saved.palette[78][0]);
	EXPECT_EQ(colr.palette[85][0], saved.palette[85][0]);
	colr = saved;
}
