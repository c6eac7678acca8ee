#pragma once
// Pixel checks over a GlTestContext: read a rectangle back after glFinish and compare it
// with an expected colour or image within a tolerance. On a mismatch the whole target is
// written as a PNG under the temporary folder, named after the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/gl_test_context.h"

struct rgba8 {
	int r, g, b, a;
};

// The rectangle x..x+w-1, y..y+h-1 (bottom row first), 4 bytes a pixel.
std::vector<unsigned char> gl_read_rect(int x, int y, int w, int h);

// Every pixel of the rectangle has the colour within tol per channel (alpha unchecked
// when a < 0).
::testing::AssertionResult gl_rect_is(const GlTestContext& ctx, int x, int y, int w, int h, rgba8 want,
                                       int tol = 0);

// The rectangle equals `want` (RGBA, bottom row first, w x h) within tol per channel.
::testing::AssertionResult gl_rect_equals(const GlTestContext& ctx, int x, int y, int w, int h,
                                           const std::vector<unsigned char>& want, int tol = 0);

// Writes the whole target as "<suite>.<test>[-tag].png" in a folder of the system's
// temporary folder (never the working folder); returns the file's path.
std::string gl_dump_png(const GlTestContext& ctx, const std::string& tag = "");

// Writes RGBA (4) or RGB (3) pixels, bottom row first, as a PNG file.
bool write_test_png(const std::string& path, int w, int h, int channels, const unsigned char* pixels);
// Reads a PNG file as RGBA or RGB, bottom row first.
bool read_test_png(const std::string& path, int channels, int& w, int& h, std::vector<unsigned char>& pixels);

// Clears the whole target to one colour.
void gl_clear_to(float r, float g, float b, float a = 1.0f);
