#pragma once
// A headless OpenGL context for drawing tests: Mesa's surfaceless EGL platform (no X
// server), a compatibility context, and a framebuffer object of the asked size bound as
// the draw and read target, so tests draw and then read pixels back with glReadPixels.
// The capability record `glExt` gets its entry points from EGL, as start-up would from
// the window's context; flags stay as the test sets them.
#include <cstdint>
#include <string>
#include <vector>

class GlTestContext {
public:
	GlTestContext(int width = 1024, int height = 768);
	~GlTestContext();
	GlTestContext(const GlTestContext&) = delete;
	GlTestContext& operator=(const GlTestContext&) = delete;

	// False when no context could be made; why() says what failed. Tests skip then,
	// except under CI=true, where making the context has already failed the test.
	bool ok() const { return ok_; }
	const std::string& why() const { return why_; }
	int width() const { return width_; }
	int height() const { return height_; }

	// RGBA of one pixel, x from the left, y from the bottom, as glReadPixels counts.
	uint32_t pixel(int x, int y) const;
	// The whole target, bottom row first, 4 bytes a pixel.
	std::vector<unsigned char> read_all() const;

	// Looks an OpenGL entry point up in the context's driver.
	static void* proc(const char* name);
	// Fills every entry point of `glExt` that the driver has.
	static void fill_glext_entry_points();

private:
	bool open();

	bool ok_ = false;
	std::string why_;
	int width_, height_;
	void* display_ = nullptr;
	void* context_ = nullptr;
	unsigned fbo_ = 0, colour_ = 0, depth_ = 0;
};

// Red, green, blue and alpha of a packed pixel.
inline int px_r(uint32_t p) { return p & 0xFF; }
inline int px_g(uint32_t p) { return (p >> 8) & 0xFF; }
inline int px_b(uint32_t p) { return (p >> 16) & 0xFF; }
inline int px_a(uint32_t p) { return (p >> 24) & 0xFF; }

// Skips the current test when the machine cannot give a headless context (under
// CI=true the test has failed already: see ok()).
#define KX_REQUIRE_GL(ctx)                                             \
	do {                                                               \
		if (!(ctx).ok()) GTEST_SKIP() << "no headless OpenGL: " << (ctx).why(); \
	} while (0)
