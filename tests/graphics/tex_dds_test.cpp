// DDS files from our writer, from nvcompress and from hostile bytes; the S3TC wrappers.
#include <gtest/gtest.h>

#include <squish.h>

#include <cstdlib>
#include <vector>

#include "graphics/TEX_dds.h"
#include "graphics/TEX_png.h"
#include "runtime/xmap.h"
#include "tex_fixtures.h"

using tex_test::AppFolder;

namespace {

constexpr GLenum kDxt1 = GL_COMPRESSED_RGB_S3TC_DXT1_EXT, kDxt3 = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT,
                 kDxt5 = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;

struct DdsRead {
	int result = 0;
	TEX_image_desc desc{};
	std::vector<unsigned char> data;
};

DdsRead read_dds(const std::string& rel)
{
	DdsRead r;
	xmap_class f(rel);
	const unsigned char* px = nullptr;
	r.result = TEX_load_dds(rel, f, &px, &r.desc);
	if (r.result) r.data.assign(px, px + TEX_bytes_needed_for_image(r.desc));
	return r;
}

}  // namespace

TEST(DdsWrite, SizesLevelsAndHeader)
{
	AppFolder app;
	const unsigned char one[3] = {10, 20, 30};
	ASSERT_EQ(TEX_save_dds("one.dds", one, {GL_RGB, 1, 1, 0, 0}), 1);
	EXPECT_EQ(app.read("one.dds").size(), 136u);
	std::vector<unsigned char> sq(4 * 4 * 4, 128);
	ASSERT_EQ(TEX_save_dds("sq.dds", sq.data(), {GL_RGBA, 4, 4, 0, 0}), 1);
	const std::string b = app.read("sq.dds");
	ASSERT_EQ(b.size(), 128u + 48u);
	EXPECT_EQ(b.substr(84, 4), "DXT5");
	EXPECT_EQ(static_cast<unsigned char>(b[28]), 3);  // three levels
	DdsRead r = read_dds("sq.dds");
	ASSERT_EQ(r.result, 1);
	EXPECT_EQ(r.desc.format, unsigned(kDxt5));
	EXPECT_EQ(r.desc.has_mipmaps, 1);
	if (tex_test::have_tool("nvddsinfo")) {
		EXPECT_TRUE(tex_test::run_in(app, "nvddsinfo sq.dds > /dev/null"));
		EXPECT_TRUE(tex_test::run_in(app, "nvddsinfo one.dds > /dev/null"));
	}
	EXPECT_EQ(TEX_save_dds("no/folder/x.dds", one, {GL_RGB, 1, 1, 0, 0}), 0);
	kx_test::AlertRecorder rec;
	EXPECT_THROW(TEX_save_dds("x.dds", one, {GL_ALPHA, 1, 1, 0, 0}), kx_test::AlertExit);
	EXPECT_EQ(rec.alerts().at(0).line, 223);
}

TEST(DdsWrite, ThinImageLevelsArePairwiseAverages)
{
	AppFolder app;
	// 4 x 1 RGBA grey 0, 40, 100, 200: levels 4x1, 2x1 (20, 150), 1x1 (85).
	const unsigned char px[16] = {0, 0, 0, 255, 40, 40, 40, 255, 100, 100, 100, 255, 200, 200, 200, 255};
	ASSERT_EQ(TEX_save_dds("thin.dds", px, {GL_RGBA, 4, 1, 0, 0}), 1);
	DdsRead r = read_dds("thin.dds");
	ASSERT_EQ(r.result, 1);
	ASSERT_EQ(r.data.size(), 48u);
	unsigned char out[64];
	squish::Decompress(out, r.data.data() + 16, squish::kDxt5);
	EXPECT_NEAR(out[0], 20, 6);
	EXPECT_NEAR(out[4], 150, 6);
	squish::Decompress(out, r.data.data() + 32, squish::kDxt5);
	EXPECT_NEAR(out[0], 85, 6);
}

TEST(DdsRead, NvcompressFilesOfEachKind)
{
	if (!tex_test::have_tool("nvcompress")) GTEST_SKIP() << "nvidia-texture-tools is not installed";
	AppFolder app;
	std::vector<unsigned char> img(16 * 8 * 4);
	for (std::size_t i = 0; i < img.size(); ++i) img[i] = (unsigned char)(i * 7);
	ASSERT_EQ(TEX_save_png("src.png", {GL_RGBA, 16, 8, 0, 0}, img.data()), 1);
	struct Kind {
		const char* flag;
		GLenum format;
	} kinds[] = {{"-bc1", kDxt1}, {"-bc2", kDxt3}, {"-bc3", kDxt5}, {"-rgb", GL_BGRA}};
	for (const Kind& k : kinds) {
		const std::string out = std::string("k") + (k.flag + 1) + ".dds";
		ASSERT_TRUE(tex_test::run_in(app, std::string("nvcompress -alpha ") + k.flag + " src.png " + out + " > /dev/null"));
		DdsRead r = read_dds(out);
		ASSERT_EQ(r.result, 1) << out;
		EXPECT_EQ(r.desc.format, unsigned(k.format)) << out;
		EXPECT_EQ(r.desc.width, 16);
		EXPECT_EQ(r.desc.height, 8);
		EXPECT_EQ(r.desc.has_mipmaps, 1) << out;
	}
	ASSERT_TRUE(tex_test::run_in(app, "nvcompress -nomips -bc1 src.png flat.dds > /dev/null"));
	EXPECT_EQ(read_dds("flat.dds").desc.has_mipmaps, 0);
}

TEST(DdsRead, HeaderFlagsDecideFormatAndChain)
{
	AppFolder app;
	const std::string chain(64, '\0');
	// Mip count flag without the caps bit: no chain.
	std::string h = tex_test::dds_header(4, 4, "DXT1", 0x4, true);
	tex_test::put32(h, 108, 0x1000);
	ASSERT_TRUE(app.write("nocaps.dds", h + chain));
	DdsRead r = read_dds("nocaps.dds");
	EXPECT_EQ(r.result, 1);
	EXPECT_EQ(r.desc.has_mipmaps, 0);
	ASSERT_TRUE(app.write("bgra.dds", tex_test::dds_header(2, 2, nullptr, 0x41, false, 32) + chain));
	ASSERT_TRUE(app.write("bgr.dds", tex_test::dds_header(2, 2, nullptr, 0x40, false, 24) + chain));
	EXPECT_EQ(read_dds("bgra.dds").desc.format, unsigned(GL_BGRA));
	EXPECT_EQ(read_dds("bgr.dds").desc.format, unsigned(GL_BGR));
	ASSERT_TRUE(app.write("bc7.dds", tex_test::dds_header(4, 4, "DX10", 0x4, false) + chain));
	ASSERT_TRUE(app.write("none.dds", tex_test::dds_header(4, 4, nullptr, 0x0, false) + chain));
	EXPECT_EQ(read_dds("bc7.dds").result, 0);
	EXPECT_EQ(read_dds("none.dds").result, 0);
}

TEST(DdsRead, HostileFilesAreNotUsable)
{
	AppFolder app;
	const std::string h = tex_test::dds_header(8, 8, "DXT5", 0x4, true);
	ASSERT_TRUE(app.write("short_header.dds", h.substr(0, 100)));
	ASSERT_TRUE(app.write("short_chain.dds", h + std::string(64 + 16 + 16, '\0')));  // needs 64 + 16 + 16 + 16
	ASSERT_TRUE(app.write("zero.dds", tex_test::dds_header(0, 8, "DXT5", 0x4, false) + std::string(64, '\0')));
	ASSERT_TRUE(app.write("huge.dds", tex_test::dds_header(0x40000000, 0x40000000, "DXT1", 0x4, true)));
	ASSERT_TRUE(app.write("wide.dds", tex_test::dds_header(4096, 4, "DXT1", 0x4, false) + std::string(8192, '\0')));
	ASSERT_TRUE(app.write("bits.dds", tex_test::dds_header(2, 2, nullptr, 0x41, false, 24) + std::string(16, '\0')));
	ASSERT_TRUE(app.write("bits16.dds", tex_test::dds_header(2, 2, nullptr, 0x40, false, 16) + std::string(16, '\0')));
	for (const char* f : {"short_header.dds", "short_chain.dds", "zero.dds", "huge.dds", "wide.dds", "bits.dds", "bits16.dds"})
		EXPECT_EQ(read_dds(f).result, 0) << f;
	ASSERT_TRUE(app.write("exact.dds", h + std::string(64 + 16 + 16 + 16, '\0')));
	EXPECT_EQ(read_dds("exact.dds").result, 1);
}

TEST(S3tc, EncodeDecodeRoundTrip)
{
	std::vector<unsigned char> rgba(8 * 8 * 4);
	for (int i = 0; i < 64; ++i) {
		rgba[i * 4] = (unsigned char)(i < 32 ? 250 : 10);
		rgba[i * 4 + 1] = 40;
		rgba[i * 4 + 2] = 90;
		rgba[i * 4 + 3] = 255;
	}
	const TEX_image_desc in{GL_RGBA, 8, 8, 0, 0}, out1{kDxt1, 8, 8, 0, 0}, out5{kDxt5, 8, 8, 0, 0};
	for (TEX_s3tc_quality q : {s3tc_fast, s3tc_normal, s3tc_best}) {
		std::vector<unsigned char> blocks(TEX_bytes_needed_for_image(out1) + 8, 0xCD);
		TEX_encode_s3tc(in, out1, rgba.data(), blocks.data(), q);
		EXPECT_EQ(blocks[32], 0xCD) << "DXT1 writes 8-byte blocks";
		std::vector<unsigned char> back(rgba.size());
		TEX_decode_s3tc(out1, in, blocks.data(), back.data());
		for (std::size_t i = 0; i < back.size(); ++i) EXPECT_NEAR(back[i], rgba[i], 8) << i;
	}
	std::vector<unsigned char> blocks(TEX_bytes_needed_for_image(out5));
	EXPECT_EQ(blocks.size(), 64u);
	TEX_encode_s3tc(in, out5, rgba.data(), blocks.data(), s3tc_normal);
	std::vector<unsigned char> back(rgba.size());
	TEX_decode_s3tc(out5, in, blocks.data(), back.data());
	EXPECT_NEAR(back[0], 250, 8);
}
