// PNG and BMP reading and writing, with files from our own writer, netpbm and bytes
// written one by one.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/TEX_png.h"
#include "graphics/colr.h"
#include "runtime/hl_mem.h"
#include "runtime/xmap.h"
#include "tex_fixtures.h"

using tex_test::AppFolder;

namespace {

struct Loaded {
	int result = 0;
	TEX_image_desc desc{};
	std::vector<unsigned char> px;
};

// Reads a file into a buffer the reader allocates, and copies it out.
Loaded load_png(const std::string& rel, unsigned long fmt, int pow2 = 0, int match = 0, int pad_to = 0)
{
	Loaded l;
	xmap_class f(rel);
	unsigned char* buf = nullptr;
	l.result = TEX_load_png(rel, f, &buf, fmt, pad_to, pow2, match, &l.desc);
	if (buf) {
		const tex_row_layout lay = TEX_row_layout(l.desc.format, l.desc.width, l.desc.height, pad_to, pow2);
		l.px.assign(buf, buf + lay.bytes);
		heap_free(buf);
	}
	return l;
}

Loaded load_bmp(const std::string& rel, unsigned long fmt)
{
	Loaded l;
	xmap_class f(rel);
	unsigned char* buf = nullptr;
	l.result = TEX_load_bmp(rel, f, &buf, fmt, 0, 0, &l.desc);
	if (buf) {
		const tex_row_layout lay = TEX_row_layout(l.desc.format, l.desc.width, l.desc.height, 0, 0);
		l.px.assign(buf, buf + lay.bytes);
		heap_free(buf);
	}
	return l;
}

// Red, green, blue, magenta, grey 10/20/30, orange: 3 x 2, top row first.
const std::vector<int> kSixPixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 255, 10, 20, 30, 200, 100, 50};

}  // namespace

TEST(PngWrite, RoundTripWithPowerOfTwoPadding)
{
	AppFolder app;
	// 3 x 5 RGB, bottom row first, every byte distinct.
	std::vector<unsigned char> img(3 * 3 * 5);
	for (std::size_t i = 0; i < img.size(); ++i) img[i] = (unsigned char)(i * 5 + 1);
	ASSERT_EQ(TEX_save_png("rt.png", {GL_RGB, 3, 5, 0, 0}, img.data()), 1);
	Loaded l = load_png("rt.png", GL_RGB, 1);
	ASSERT_EQ(l.result, 1);
	EXPECT_EQ(l.desc.row_pad, 3);
	ASSERT_EQ(l.px.size(), std::size_t(8 * 12));
	for (int r = 0; r < 8; ++r)
		for (int b = 0; b < 12; ++b) {
			const unsigned char got = l.px[r * 12 + b];
			if (r < 5 && b < 9)
				EXPECT_EQ(got, img[r * 9 + b]) << r << "," << b;
			else
				EXPECT_EQ(got, 0) << "padding " << r << "," << b;
		}
}

TEST(PngWrite, RefusesAnIllegalFormatAndAnUnwritablePath)
{
	AppFolder app;
	kx_test::AlertRecorder rec;
	unsigned char px[4] = {};
	EXPECT_EQ(TEX_save_png("no/such/folder/x.png", {GL_RGBA, 1, 1, 0, 0}, px), 0);
	EXPECT_THROW(TEX_save_png("x.png", {GL_BGRA, 1, 1, 0, 0}, px), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 1u);
	EXPECT_EQ(rec.alerts()[0].line1, "Illegal pixel format for png-write.");
	EXPECT_EQ(rec.alerts()[0].line, 164);
}

TEST(PngRead, AlphaFollowsTheFlagAndTheFile)
{
	AppFolder app;
	const unsigned char rgba[8] = {1, 2, 3, 0, 4, 5, 6, 200};
	ASSERT_EQ(TEX_save_png("a.png", {GL_RGBA, 2, 1, 0, 0}, rgba), 1);
	Loaded keep = load_png("a.png", GL_RGB, 0, 1);
	EXPECT_EQ(keep.desc.format, unsigned(GL_RGBA));
	EXPECT_EQ(keep.px, std::vector<unsigned char>(rgba, rgba + 8));
	Loaded strip = load_png("a.png", GL_RGB);
	EXPECT_EQ(strip.desc.format, unsigned(GL_RGB));
	EXPECT_EQ(strip.px, (std::vector<unsigned char>{1, 2, 3, 4, 5, 6}));

	const unsigned char rgb[6] = {9, 8, 7, 6, 5, 4};
	ASSERT_EQ(TEX_save_png("b.png", {GL_RGB, 2, 1, 0, 0}, rgb), 1);
	Loaded filled = load_png("b.png", GL_RGBA);
	EXPECT_EQ(filled.px, (std::vector<unsigned char>{9, 8, 7, 255, 6, 5, 4, 255}));
	Loaded matched = load_png("b.png", GL_RGBA, 0, 1);
	EXPECT_EQ(matched.desc.format, unsigned(GL_RGB));
	Loaded grey = load_png("b.png", GL_ALPHA);
	EXPECT_EQ(grey.px.size(), 2u);
}

TEST(PngRead, NetpbmFilesOfEveryKind)
{
	if (!tex_test::have_tool("pnmtopng")) GTEST_SKIP() << "netpbm is not installed";
	AppFolder app;
	ASSERT_TRUE(app.write("six.ppm", tex_test::ppm(3, 2, kSixPixels)));
	ASSERT_TRUE(tex_test::run_in(app, "pnmtopng six.ppm > pal.png"));  // few colours: a palette file
	ASSERT_TRUE(tex_test::run_in(app, "pnmtopng -interlace six.ppm > inter.png"));
	ASSERT_TRUE(tex_test::run_in(app, "pnmtopng -transparent =rgb:ff/00/ff six.ppm > trns.png"));
	std::vector<int> deep;
	for (int v : kSixPixels) deep.push_back(v * 257);
	ASSERT_TRUE(app.write("deep.ppm", tex_test::ppm(3, 2, deep, 65535)));
	ASSERT_TRUE(tex_test::run_in(app, "pnmtopng deep.ppm > deep.png"));
	ASSERT_TRUE(app.write("grey.pgm", "P2\n2 1\n15\n0 15\n"));
	ASSERT_TRUE(tex_test::run_in(app, "pnmtopng grey.pgm > grey4.png"));

	// Bottom row first: orange is the last pixel of the file and of buffer row 0.
	const std::vector<unsigned char> want = {255, 0, 255, 10, 20, 30, 200, 100, 50, 255, 0, 0, 0, 255, 0, 0, 0, 255};
	for (const char* f : {"pal.png", "inter.png", "deep.png"}) {
		Loaded l = load_png(f, GL_RGB);
		ASSERT_EQ(l.result, 1) << f;
		EXPECT_EQ(l.px, want) << f;
	}
	Loaded g = load_png("grey4.png", GL_RGB);
	EXPECT_EQ(g.px, (std::vector<unsigned char>{0, 0, 0, 255, 255, 255}));

	// A tRNS chunk is alpha: read as RGB the rows stay three bytes a pixel (the extra
	// channel used to run past each row), and the flag turns it into RGBA.
	Loaded t = load_png("trns.png", GL_RGB);
	EXPECT_EQ(t.desc.format, unsigned(GL_RGB));
	EXPECT_EQ(t.px, want);
	Loaded ta = load_png("trns.png", GL_RGB, 0, 1);
	ASSERT_EQ(ta.desc.format, unsigned(GL_RGBA));
	EXPECT_EQ(ta.px[3], 0);  // magenta is transparent
	EXPECT_EQ(ta.px[7], 255);
}

TEST(PngRead, TrnsRowsStayInsideACallersBuffer)
{
	if (!tex_test::have_tool("pnmtopng")) GTEST_SKIP() << "netpbm is not installed";
	AppFolder app;
	ASSERT_TRUE(app.write("six.ppm", tex_test::ppm(3, 2, kSixPixels)));
	ASSERT_TRUE(tex_test::run_in(app, "pnmtopng -transparent =rgb:ff/00/ff six.ppm > trns.png"));
	std::vector<unsigned char> buf(18 + 16, 0xEE);
	unsigned char* p = buf.data();
	TEX_image_desc d{};
	xmap_class f("trns.png");
	ASSERT_EQ(TEX_load_png("trns.png", f, &p, GL_RGB, 0, 0, 0, &d, 18), 1);
	for (std::size_t i = 18; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xEE) << "byte " << i;
}

TEST(PngRead, TruncatedFileAlertsInOrder)
{
	AppFolder app;
	std::vector<unsigned char> img(32 * 32 * 3, 77);
	for (std::size_t i = 0; i < img.size(); ++i) img[i] = (unsigned char)(i * 31);
	ASSERT_EQ(TEX_save_png("full.png", {GL_RGB, 32, 32, 0, 0}, img.data()), 1);
	std::string bytes = app.read("full.png");
	ASSERT_TRUE(app.write("cut.png", bytes.substr(0, bytes.size() / 2)));
	kx_test::AlertRecorder rec;
	EXPECT_THROW(load_png("cut.png", GL_RGB), kx_test::AlertExit);
	const auto a = rec.alerts();
	ASSERT_EQ(a.size(), 2u);
	EXPECT_EQ(a[0].line1, "PNG error!");
	EXPECT_EQ(a[0].line2, "PNG Read Error, overran end of buffer!");
	EXPECT_EQ(a[0].type, t_alert);
	EXPECT_EQ(a[0].line, 13);
	EXPECT_EQ(a[1].line1, "PING-FILE ERROR!");
	EXPECT_EQ(a[1].line2, "setjmp(png_ptr->jmpbuf");
	EXPECT_EQ(a[1].line3, "cut.png");
	EXPECT_EQ(a[1].type, t_exit);
	EXPECT_EQ(a[1].line, 63);
	EXPECT_EQ(png_mapped_file, nullptr);
}

TEST(PngRead, RefusesWhatCannotBeRead)
{
	AppFolder app;
	ASSERT_TRUE(app.write("short.png", "\x89PNG"));
	ASSERT_TRUE(app.write("text.png", "not a png at all"));
	EXPECT_EQ(load_png("short.png", GL_RGB).result, 0);
	EXPECT_EQ(load_png("missing.png", GL_RGB).result, 0);
	kx_test::AlertRecorder rec;
	EXPECT_THROW(load_png("text.png", GL_RGB), kx_test::AlertExit);
	EXPECT_EQ(rec.alerts().at(0).line2, "is_png=!png_sig_cmp(png_io_buf,0,8)");
	rec.clear();
	const unsigned char px[3] = {};
	ASSERT_EQ(TEX_save_png("one.png", {GL_RGB, 1, 1, 0, 0}, px), 1);
	EXPECT_THROW(load_png("one.png", GL_BGR), kx_test::AlertExit);
	EXPECT_EQ(rec.alerts().at(0).line1, "Illegal bits per pixel");

	// An image larger than the caller's buffer is refused, nothing written.
	std::vector<unsigned char> big(64 * 64 * 4, 1);
	ASSERT_EQ(TEX_save_png("big.png", {GL_RGBA, 64, 64, 0, 0}, big.data()), 1);
	std::vector<unsigned char> small(100, 0xAB);
	unsigned char* p = small.data();
	TEX_image_desc d{};
	xmap_class f("big.png");
	EXPECT_EQ(TEX_load_png("big.png", f, &p, GL_RGBA, 0, 0, 0, &d, small.size()), 0);
	EXPECT_EQ(small[0], 0xAB);
}

TEST(BmpRead, NetpbmFileRowsAndMagenta)
{
	if (!tex_test::have_tool("ppmtobmp")) GTEST_SKIP() << "netpbm is not installed";
	AppFolder app;
	// 5 pixels wide: file rows of 16 bytes (15 rounded up).
	std::vector<int> five = {255, 0, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
	                         20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 90, 60, 30};
	ASSERT_TRUE(app.write("five.ppm", tex_test::ppm(5, 2, five)));
	ASSERT_TRUE(tex_test::run_in(app, "ppmtobmp -windows -bpp 24 five.ppm > five.bmp"));
	Loaded rgb = load_bmp("five.bmp", GL_RGB);
	ASSERT_EQ(rgb.result, 1);
	EXPECT_EQ(rgb.desc.width, 5);
	// Bottom row first: buffer row 0 is the file's second row.
	EXPECT_EQ(std::vector<unsigned char>(rgb.px.begin(), rgb.px.begin() + 3), (std::vector<unsigned char>{20, 21, 22}));
	EXPECT_EQ(std::vector<unsigned char>(rgb.px.begin() + 15, rgb.px.begin() + 18),
	          (std::vector<unsigned char>{255, 0, 255}));
	Loaded rgba = load_bmp("five.bmp", GL_RGBA);
	EXPECT_EQ(std::vector<unsigned char>(rgba.px.begin() + 20, rgba.px.begin() + 24),
	          (std::vector<unsigned char>{0, 0, 0, 0}));
	EXPECT_EQ(rgba.px[3], 255);
	Loaded a = load_bmp("five.bmp", GL_ALPHA);
	EXPECT_EQ(a.px[4], (90 + 60 + 30) / 3);
}

TEST(BmpRead, HostileHeadersAreRefused)
{
	AppFolder app;
	const std::string row(16, '\x40');
	ASSERT_TRUE(app.write("zero_w.bmp", tex_test::bmp_header(0, 1) + row));
	ASSERT_TRUE(app.write("neg_w.bmp", tex_test::bmp_header(-5, 1) + row));
	ASSERT_TRUE(app.write("top_first.bmp", tex_test::bmp_header(5, -2) + row + row));
	ASSERT_TRUE(app.write("short_rows.bmp", tex_test::bmp_header(5, 3) + row + row));
	ASSERT_TRUE(app.write("far_data.bmp", tex_test::bmp_header(5, 1, 24, 0, 0x7FFFFFF0) + row));
	ASSERT_TRUE(app.write("header_only.bmp", "BM"));
	for (const char* f : {"zero_w.bmp", "neg_w.bmp", "top_first.bmp", "short_rows.bmp", "far_data.bmp"})
		EXPECT_EQ(load_bmp(f, GL_RGBA).result, 0) << f;
	ASSERT_TRUE(app.write("ok.bmp", tex_test::bmp_header(5, 2) + row + row));
	EXPECT_EQ(load_bmp("ok.bmp", GL_RGB).result, 1);
	ASSERT_TRUE(app.write("empty.bmp", tex_test::bmp_header(5, 0)));
	EXPECT_EQ(load_bmp("empty.bmp", GL_RGB).result, 1);
	// Larger than the caller's buffer: refused, the buffer untouched.
	{
		std::vector<unsigned char> small(20, 0xAB);
		unsigned char* p = small.data();
		TEX_image_desc d{};
		xmap_class f("ok.bmp");
		EXPECT_EQ(TEX_load_bmp("ok.bmp", f, &p, GL_RGB, 0, 0, &d, small.size()), 0);
		EXPECT_EQ(small[0], 0xAB);
	}

	kx_test::AlertRecorder rec;
	ASSERT_TRUE(app.write("deep.bmp", tex_test::bmp_header(5, 1, 32) + row + row));
	ASSERT_TRUE(app.write("rle.bmp", tex_test::bmp_header(5, 1, 24, 1) + row));
	EXPECT_THROW(load_bmp("deep.bmp", GL_RGB), kx_test::AlertExit);
	EXPECT_THROW(load_bmp("rle.bmp", GL_RGB), kx_test::AlertExit);
	EXPECT_THROW(load_bmp("header_only.bmp", GL_RGB), kx_test::AlertExit);  // fields read as 0: not 24 bits
	EXPECT_THROW(load_bmp("ok.bmp", GL_BGR), kx_test::AlertExit);
	const auto a = rec.alerts();
	ASSERT_EQ(a.size(), 4u);
	EXPECT_EQ(a[0].line, 48);
	EXPECT_EQ(a[0].line4, "deep.bmp");
	EXPECT_EQ(a[1].line1, "Bitmap is compressed!");
	EXPECT_EQ(a[3].line1, "Illegal desired format for bmp.");
}

TEST(LoadAny, ChoosesTheReaderByContentAndGuessesExtensions)
{
	if (!tex_test::have_tool("ppmtobmp")) GTEST_SKIP() << "netpbm is not installed";
	AppFolder app;
	ASSERT_TRUE(app.write("six.ppm", tex_test::ppm(3, 2, kSixPixels)));
	ASSERT_TRUE(tex_test::run_in(app, "ppmtobmp -windows -bpp 24 six.ppm > pic.bmp"));
	unsigned char* buf = nullptr;
	TEX_image_desc d{};
	EXPECT_EQ(TEX_load_any_ext("pic.dds", &buf, GL_RGB, 4, 0, &d), 1);  // .png missing, .bmp found
	EXPECT_EQ(d.row_pad, 3);
	heap_free(buf);
	buf = nullptr;
	ASSERT_TRUE(tex_test::run_in(app, "cp pic.bmp named.png"));  // a BMP under a PNG name
	EXPECT_NE(TEX_load_any("named.png", &buf, GL_RGB, 0, 0, &d), 0);
	heap_free(buf);
	buf = nullptr;
	EXPECT_EQ(TEX_load_any("six.ppm", &buf, GL_RGB, 0, 0, &d), 0);
	EXPECT_EQ(buf, nullptr);
}
