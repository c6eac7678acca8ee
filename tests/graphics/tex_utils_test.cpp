// Image descriptor arithmetic, flips of plain and S3TC data, box downscaling, colour keys.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "graphics/TEX_utils.h"
#include "graphics/colr.h"
#include "support/test_env.h"

namespace {

constexpr GLenum kDxt1 = GL_COMPRESSED_RGB_S3TC_DXT1_EXT, kDxt5 = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;

DXTColBlock col_block(uint16_t c0, uint16_t c1, uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3)
{
	DXTColBlock b{};
	b.col0 = c0;
	b.col1 = c1;
	b.row[0] = r0;
	b.row[1] = r1;
	b.row[2] = r2;
	b.row[3] = r3;
	return b;
}

}  // namespace

TEST(ImageSize, LevelsAndChains)
{
	EXPECT_EQ(TEX_bytes_needed_for_image({GL_RGB, 3, 5, 3, 0}), (9 + 3) * 5);
	EXPECT_EQ(TEX_bytes_needed_for_image({GL_RGBA, 1, 1, 0, 1}), 4);  // one level only
	// 4 x 1 RGB chain: 4x1, 2x1, 1x1.
	EXPECT_EQ(TEX_bytes_needed_for_image({GL_RGB, 4, 1, 0, 1}), 12 + 6 + 3);
	// 256 x 64 DXT1 chain: nine levels, blocks rounded up.
	int expect = 0;
	for (int w = 256, h = 64;; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) {
		expect += ((w + 3) / 4) * ((h + 3) / 4) * 8;
		if (w == 1 && h == 1) break;
	}
	EXPECT_EQ(TEX_bytes_needed_for_image({kDxt1, 256, 64, 0, 1}), expect);
	EXPECT_EQ(TEX_bytes_needed_for_image({GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 5, 5, 0, 0}), 4 * 16);
	EXPECT_EQ(TEX_bytes_needed_for_image({GL_DEPTH_COMPONENT, 3, 3, 7, 0}), 36);
	EXPECT_EQ(TEX_bytes_needed_for_image({0x1234, 4, 4, 0, 0}), 0);
	// A size below 1 with a chain used to loop for ever; it is size 0.
	EXPECT_EQ(TEX_bytes_needed_for_image({GL_RGBA, 0, 4, 0, 1}), 0);
	EXPECT_EQ(TEX_bytes_needed_for_image({kDxt5, 8, -2, 0, 1}), 0);
}

TEST(FlipY, PlainRowsIncludePaddingAndKeepTheMiddleRow)
{
	// 2 x 3 RGB, 2 bytes of padding a row.
	std::vector<unsigned char> px(3 * 8);
	std::iota(px.begin(), px.end(), 0);
	const std::vector<unsigned char> before = px;
	EXPECT_EQ(TEX_flip_y({GL_RGB, 2, 3, 2, 0}, px.data()), 0);
	EXPECT_TRUE(std::equal(px.begin(), px.begin() + 8, before.begin() + 16));
	EXPECT_TRUE(std::equal(px.begin() + 8, px.begin() + 16, before.begin() + 8));
	EXPECT_TRUE(std::equal(px.begin() + 16, px.end(), before.begin()));
}

TEST(FlipY, Dxt1ReportsTheTransparentIndexAndFlipsEveryBlockRow)
{
	// 8 x 12: three block rows of two blocks; block rows 0 and 2 swap, the middle one is
	// flipped in place (it used to be left upside down).
	std::vector<DXTColBlock> b(6);
	for (int i = 0; i < 6; ++i) b[i] = col_block(0xF800, 0x001F, uint8_t(i), 0x11, 0x22, 0x33);  // four-colour
	std::vector<DXTColBlock> flipped = b;
	EXPECT_EQ(TEX_flip_y({kDxt1, 8, 12, 0, 0}, reinterpret_cast<unsigned char*>(flipped.data())), 0);
	EXPECT_EQ(flipped[0].row[3], 4);  // old block 4 (row 2), its rows reversed
	EXPECT_EQ(flipped[0].row[0], 0x33);
	EXPECT_EQ(flipped[4].row[3], 0);
	EXPECT_EQ(flipped[2].row[3], 2) << "the middle block row is flipped inside its blocks";
	EXPECT_EQ(flipped[2].row[0], 0x33);
	EXPECT_EQ(flipped[3].row[3], 3);

	// One three-colour block that uses index 3 makes the result non-zero.
	std::vector<DXTColBlock> t(4, col_block(0xF800, 0x001F, 0, 0, 0, 0));
	t[3] = col_block(0x001F, 0xF800, 0x03, 0, 0, 0);
	EXPECT_NE(TEX_flip_y({kDxt1, 8, 8, 0, 0}, reinterpret_cast<unsigned char*>(t.data())), 0);
	// Three-colour mode without index 3 is opaque.
	std::vector<DXTColBlock> o(4, col_block(0x001F, 0xF800, 0x02, 0x01, 0, 0));
	EXPECT_EQ(TEX_flip_y({kDxt1, 8, 8, 0, 0}, reinterpret_cast<unsigned char*>(o.data())), 0);
}

TEST(FlipY, ShortLevelsSwapOnlyTheirOwnRows)
{
	// An 8 x 2 DXT1 level: rows 0 and 1 of each block swap, rows 2 and 3 (not part of the
	// image) stay where they are.
	std::vector<DXTColBlock> b(2, col_block(0xF800, 0x001F, 0xA0, 0xB1, 0xC2, 0xD3));
	EXPECT_EQ(TEX_flip_y({kDxt1, 8, 2, 0, 0}, reinterpret_cast<unsigned char*>(b.data())), 0);
	EXPECT_EQ(b[1].row[0], 0xB1);
	EXPECT_EQ(b[1].row[1], 0xA0);
	EXPECT_EQ(b[1].row[2], 0xC2);
	EXPECT_EQ(b[1].row[3], 0xD3);

	// A DXT5 chain 4x4, 2x2, 1x1: the 2-pixel level swaps its two alpha rows and colour rows.
	std::vector<unsigned char> chain(48, 0);
	unsigned char* l1 = chain.data() + 16;
	// alpha rows of 12 bits: row0 = 0x123, row1 = 0x456 in bytes 2..4.
	const uint32_t rows01 = 0x123 | (0x456u << 12);
	l1[2] = uint8_t(rows01), l1[3] = uint8_t(rows01 >> 8), l1[4] = uint8_t(rows01 >> 16);
	l1[12] = 0x01, l1[13] = 0x02, l1[14] = 0x03, l1[15] = 0x04;
	TEX_flip_y({kDxt5, 4, 4, 0, 1}, chain.data());
	const uint32_t got = l1[2] | (l1[3] << 8) | (l1[4] << 16);
	EXPECT_EQ(got & 0xFFF, 0x456u);
	EXPECT_EQ(got >> 12, 0x123u);
	EXPECT_EQ(l1[12], 0x02);
	EXPECT_EQ(l1[13], 0x01);
	EXPECT_EQ(l1[14], 0x03);
}

TEST(FlipY, Dxt5AlphaRowsComeOutReversed)
{
	DXT5AlphaBlock a{};
	uint64_t rows = 0x111 | (0x222ull << 12) | (0x333ull << 24) | (0x444ull << 36);
	for (int i = 0; i < 6; ++i) a.row[i] = uint8_t(rows >> (8 * i));
	nv_flip_dxt5_alpha(&a);
	uint64_t got = 0;
	for (int i = 5; i >= 0; --i) got = (got << 8) | a.row[i];
	EXPECT_EQ(got, 0x444 | (0x333ull << 12) | (0x222ull << 24) | (0x111ull << 36));
}

TEST(FlipY, UnknownFormatIsFatal)
{
	kx_test::AlertRecorder rec;
	unsigned char px[16] = {};
	EXPECT_THROW(TEX_flip_y({0x1234, 2, 2, 0, 0}, px), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 1u);
	EXPECT_EQ(rec.alerts()[0].line1, "Illegal format!");
	EXPECT_EQ(rec.alerts()[0].line, 441);
}

TEST(GammaCorrect, IdentityTableChangesNothingAndModesSurvive)
{
	colr_class saved = colr;
	for (int i = 0; i < 256; ++i) colr.gamma_table[i] = uint8_t(i);
	DXTColBlock b = col_block(0xF81F, 0x07E0, 0x1B, 0xE4, 0x00, 0xFF);
	DXTColBlock c = b;
	nv_gamma_correct(&c);
	EXPECT_EQ(std::memcmp(&b, &c, sizeof b), 0);
	// A table that maps everything to one value makes a four-colour block's endpoints
	// meet: they are parted by one step and the indices swap 0<->1, 2<->3.
	std::memset(colr.gamma_table, 200, sizeof colr.gamma_table);
	DXTColBlock d = col_block(0xF800, 0x001F, 0b11100100, 0, 0, 0);
	nv_gamma_correct(&d);
	EXPECT_GT(d.col0, d.col1);
	EXPECT_EQ(d.row[0], 0b10110001);
	colr = saved;
}

TEST(Color565, IncrementAndDecrementOrder)
{
	uint16_t c = 0x07E0;  // green full
	EXPECT_TRUE(IncColor565(c));
	EXPECT_EQ(c, 0x07E1);  // then blue
	c = 0xFFFF;
	EXPECT_FALSE(IncColor565(c));
	EXPECT_EQ(c, 0xFFFF);
	c = 0x0001;
	EXPECT_TRUE(DecColor565(c));
	EXPECT_EQ(c, 0x0000);
	EXPECT_FALSE(DecColor565(c));
}

TEST(Downscale, BoxesTruncateAndKeepPadding)
{
	// 3 x 3 RGB by (2, 2): the first box, values 1, 2, 2, 2 give 1.
	std::vector<unsigned char> px(3 * 9 + 3 * 1, 0);
	TEX_image_desc d{GL_RGB, 3, 3, 1, 0};
	const int row = 10;
	px[0] = 1, px[3] = 2, px[row] = 2, px[row + 3] = 2;
	TEX_downscale(d, px.data(), 2, 2);
	EXPECT_EQ(d.width, 1);
	EXPECT_EQ(d.height, 1);
	EXPECT_EQ(d.row_pad, 1);
	EXPECT_EQ(px[0], 1);

	// A factor that is not a power of two divides by fx * fy: 3 x 1 grey 3, 6, 9 -> 6.
	unsigned char g[3] = {3, 6, 9};
	TEX_image_desc gd{GL_ALPHA, 3, 1, 0, 0};
	TEX_downscale(gd, g, 3, 1);
	EXPECT_EQ(gd.width, 1);
	EXPECT_EQ(g[0], 6);
}

TEST(ChromaKey, ToleranceIsStrict)
{
	unsigned char px[8] = {255, 0, 255, 255, 254, 0, 255, 255};
	const unsigned char key[3] = {255, 0, 255};
	TEX_chroma_key({GL_RGBA, 2, 1, 0, 0}, px, key, 0);
	EXPECT_EQ(px[3], 255);
	TEX_chroma_key({GL_RGBA, 2, 1, 0, 0}, px, key, 1);
	EXPECT_EQ(px[3], 0);
	EXPECT_EQ(px[7], 255);
	EXPECT_EQ(px[0], 255);  // colour kept
}

TEST(Composite, OpaqueSourceCoversItsRectangle)
{
	const unsigned char src[4] = {10, 20, 30, 255};  // 1 x 1 RGBA
	std::vector<unsigned char> dst(4 * 4 * 3, 200);  // 4 x 4 RGB
	TEX_composite({GL_RGBA, 1, 1, 0, 0}, {GL_RGB, 4, 4, 0, 0}, src, dst.data(), 1, 1, 2, 2);
	EXPECT_EQ(dst[(1 * 4 + 1) * 3], 10);
	EXPECT_EQ(dst[(1 * 4 + 1) * 3 + 2], 30);
	EXPECT_EQ(dst[0], 200);
	EXPECT_EQ(dst[(2 * 4 + 2) * 3], 200);
}
