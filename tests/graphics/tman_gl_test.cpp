// The texture manager and its loading pipeline in a headless OpenGL context: refs,
// sharing and purging, fail modes, file candidates, scaling, bleeding, compressed uploads
// and reloads, and the texture-unit cache with its recipes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "graphics/TEX_dds.h"
#include "graphics/TEX_png.h"
#include "graphics/TEX_utils.h"
#include "graphics/tman.h"
#include "runtime/cmdline.h"
#include "runtime/rec_glext.h"
#include "runtime/rec_mnw.h"
#include "runtime/rec_ren.h"
#include "support/gl_test_context.h"
#include "tex_fixtures.h"

using tex_test::AppFolder;

namespace {

constexpr int kSide = 64;

// Counts compressed sub-image uploads on their way to the driver.
PFNGLCOMPRESSEDTEXSUBIMAGE2DARBPROC g_real_sub = nullptr;
int g_sub_calls = 0;
void APIENTRY counting_sub(GLenum a, GLint b, GLint c, GLint d, GLsizei e, GLsizei f, GLenum g, GLsizei h,
                           const void* i)
{
	++g_sub_calls;
	g_real_sub(a, b, c, d, e, f, g, h, i);
}

class TmanGl : public ::testing::Test {
protected:
	void SetUp() override
	{
		KX_REQUIRE_GL(gl);
		GlTestContext::fill_glext_entry_points();
		glExt.tex_comp_avail = 1;
		glExt.combine_avail = 1;
		glExt.tex_clamp_avail = 1;
		glExt.automini_avail = 0;
		glExt.aniso_avail = 0;
		glExt.max_tex_size = 2048;
		GLint units = 1;
		glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
		ren.tex_units = std::min(units, tex_unit_count);
		tex_hash.clear();
		TEX_reset_bind();
		gKillTex = 0;
		mnw.texture_res = 5;
		cmdline = UTL_cmdline{};
	}
	void TearDown() override
	{
		tex_hash.clear();
		cmdline = UTL_cmdline{};
		mnw.texture_res = 5;
	}

	// A solid RGBA PNG written by our own writer.
	void png(const std::string& name, int w, int h, unsigned char r, unsigned char g, unsigned char b,
	         unsigned char a = 255)
	{
		std::vector<unsigned char> px(std::size_t(w) * h * 4);
		for (std::size_t i = 0; i < px.size(); i += 4) px[i] = r, px[i + 1] = g, px[i + 2] = b, px[i + 3] = a;
		ASSERT_EQ(TEX_save_png(name, {GL_RGBA, w, h, 0, 0}, px.data()), 1);
	}

	// The texture's level 0 as RGBA bytes.
	std::vector<unsigned char> texels(int tex, int w, int h)
	{
		std::vector<unsigned char> out(std::size_t(w) * h * 4);
		glBindTexture(GL_TEXTURE_2D, GLuint(tex));
		glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
		TEX_reset_bind();
		return out;
	}

	// Draws one quad over the whole target with texture `tex` in environment `mode` and
	// primary colour `prim`, no blending; returns the centre pixel.
	uint32_t draw(int tex, int mode, const unsigned char prim[4])
	{
		TEX_bind_ref(tex, 0, mode);
		return quad(prim);
	}
	// The same through the manager's ref.
	uint32_t draw_ref(int ref, int mode, const unsigned char prim[4])
	{
		t.bind_ref(ref, 0, mode);
		return quad(prim);
	}
	uint32_t quad(const unsigned char prim[4])
	{
		glMatrixMode(GL_PROJECTION);
		glLoadIdentity();
		glOrtho(0, kSide, 0, kSide, -1, 1);
		glMatrixMode(GL_MODELVIEW);
		glLoadIdentity();
		glDisable(GL_BLEND);
		glEnable(GL_TEXTURE_2D);
		glColor4ub(prim[0], prim[1], prim[2], prim[3]);
		glBegin(GL_QUADS);
		glTexCoord2f(0, 0), glVertex2f(0, 0);
		glTexCoord2f(0, 1), glVertex2f(0, kSide);
		glTexCoord2f(1, 1), glVertex2f(kSide, kSide);
		glTexCoord2f(1, 0), glVertex2f(kSide, 0);
		glEnd();
		glFinish();
		return gl.pixel(kSide / 2, kSide / 2);
	}

	// A 1 x 1 texture of one RGBA colour under a fixed ref, through the scratch path.
	int solid_ref(int ref, const unsigned char c[4])
	{
		if (!scratch_array) scratch_array = scratch_array_storage;
		std::copy(c, c + 4, scratch_array);
		scratch_dx = scratch_dy = 1;
		return t.load_texture(tex_fail_fatal, ref, tex_col_rgba, tex_loaded, "scratch_array solid");
	}

	GlTestContext gl{kSide, kSide};
	AppFolder app;
	tman_class t;
};

}  // namespace

TEST_F(TmanGl, NamedRefsReuseTheHighestFreeSlot)
{
	for (int i = 0; i < 6; ++i) png("n" + std::to_string(i) + ".png", 2, 2, 10, 20, 30);
	for (int i = 0; i < 6; ++i)
		EXPECT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "n" + std::to_string(i) + ".png"),
		          tman_first_named_ref + i);
	t.release_texture(1137);
	t.release_texture(1139);
	t.purge_unused_texes();
	EXPECT_FALSE(glIsTexture(1139));
	EXPECT_EQ(t.ref_dat[1139].name, "un-inited");
	png("x.png", 2, 2, 1, 2, 3), png("y.png", 2, 2, 1, 2, 3), png("z.png", 2, 2, 1, 2, 3);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "x.png"), 1139);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "y.png"), 1137);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "z.png"), 1141);
	EXPECT_EQ(t.total_texes, 7);
	EXPECT_EQ(t.loaded_texes, 7);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, ""), 0);
}

TEST_F(TmanGl, RepeatedNameSharesWithoutUploadAndRevivesUntilPurged)
{
	png("tree.png", 4, 4, 0, 200, 0);
	const int ref = t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "tree.png");
	ASSERT_EQ(ref, tman_first_named_ref);
	// With the file gone, a second request still gets the texture: nothing was read.
	ASSERT_EQ(std::remove(app.path("tree.png").c_str()), 0);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "tree.png"), ref);
	EXPECT_EQ(t.ref_dat[ref].ref_count, 2);
	EXPECT_EQ(t.ref_dat[ref].tex_id, ref);
	t.release_texture(ref);
	t.release_texture(ref);
	EXPECT_EQ(t.ref_dat[ref].ref_count, 0);
	EXPECT_TRUE(glIsTexture(GLuint(ref))) << "released to 0 stays drawable until the purge";
	EXPECT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "tree.png"), ref);
	EXPECT_EQ(t.ref_dat[ref].ref_count, 1);
	EXPECT_EQ(texels(ref, 4, 4)[1], 200);
	t.release_texture(ref);
	t.purge_unused_texes();
	EXPECT_FALSE(glIsTexture(GLuint(ref)));
	EXPECT_EQ(t.total_texes, 0);
	EXPECT_EQ(t.loaded_texes, 0);
}

TEST_F(TmanGl, FixedRefsByNameAndTheirAlerts)
{
	png("panel.png", 2, 2, 1, 1, 1);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 1135, tex_col_rgba, tex_loaded, "panel.png"), 1135);
	EXPECT_EQ(t.ref_dat[1135].ref_count, -1);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "panel.png"), 1135);
	EXPECT_EQ(t.ref_dat[1135].ref_count, 0) << "a fixed ref asked for by name is counted but never purged";
	kx_test::AlertRecorder rec;
	EXPECT_THROW(t.load_texture(tex_fail_silent, 1136, tex_col_rgba, tex_loaded, "panel.png"), kx_test::AlertExit);
	EXPECT_THROW(t.load_texture(tex_fail_silent, -1, tex_col_rgba, tex_loaded, "panel.png"), kx_test::AlertExit);
	EXPECT_THROW(t.release_texture(500), kx_test::AlertExit);
	EXPECT_THROW(t.unload_texture(1200), kx_test::AlertExit);
	// Refs outside the table are refused before anything is read.
	EXPECT_THROW(t.release_texture(90000), kx_test::AlertExit);
	EXPECT_THROW(t.unload_texture(-3), kx_test::AlertExit);
	EXPECT_THROW(t.bind_ref(70000, 0, 0), kx_test::AlertExit);
	EXPECT_THROW(t.load_texture(tex_fail_silent, 7, 0x4000, tex_loaded, "panel.png"), kx_test::AlertExit);
	const auto a = rec.alerts();
	ASSERT_EQ(a.size(), 8u);
	EXPECT_EQ(a[0].line1, "Trying to bind too low or high a manual_ref!");
	EXPECT_EQ(a[2].line1, "Trying to release a manual texture - use unload_texture.");
	EXPECT_EQ(a[3].line1, "Error: dynamic textures should be released, not unloaded.");
	EXPECT_EQ(a[4].line1, "Ref count is negative - was never reffed.");
	EXPECT_EQ(a[6].line1, "missing non-scenery texture - how?");
	EXPECT_EQ(a[7].line1, "Trying to bind an invalid filter type!");
	// Ref 0 binds no texture.
	TEX_reset_bind();
	glBindTexture(GL_TEXTURE_2D, 1135);
	TEX_reset_bind();
	t.bind_ref(0, 0, 0);
	GLint bound = -1;
	glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
	EXPECT_EQ(bound, 0);
}

TEST_F(TmanGl, MissingFilesBorrowTheBlankGreyTexture)
{
	// A missing named texture keeps its ref and draws mid-grey.
	const int ref = t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "gone.png");
	ASSERT_EQ(ref, tman_first_named_ref);
	EXPECT_EQ(t.ref_dat[ref].tex_id, t_blank_gray);
	EXPECT_EQ(t.ref_dat[ref].load_time, tex_loaded);
	EXPECT_EQ(t.ref_dat[ref].vram, 0);
	const unsigned char white[4] = {255, 255, 255, 255};
	const uint32_t p = draw_ref(ref, GL_REPLACE, white);
	EXPECT_EQ(px_r(p), 128);
	EXPECT_EQ(px_g(p), 128);
	// A missing fixed texture returns 0; freeing either keeps texture 930.
	EXPECT_EQ(t.load_texture(tex_fail_silent, 408, tex_col_rgba, tex_loaded, "also_gone.png"), 0);
	t.unload_texture(408);
	t.release_texture(ref);
	t.purge_unused_texes();
	EXPECT_TRUE(glIsTexture(t_blank_gray));
	EXPECT_EQ(t.ref_dat[t_blank_gray].tex_id, t_blank_gray);
}

TEST_F(TmanGl, FailModesRaiseTheirFlagsOnce)
{
	t.load_texture(tex_fail_scenery, 0, tex_col_rgb, tex_loaded, "s1.png");
	EXPECT_EQ(t.scene_load_fail, 1);
	t.load_texture(tex_fail_scenery, 0, tex_col_rgb, tex_loaded, "s2.png");
	EXPECT_EQ(t.scene_load_fail, 1);
	t.mute_scene_load_fail();
	t.load_texture(tex_fail_scenery, 0, tex_col_rgb, tex_loaded, "s3.png");
	EXPECT_EQ(t.scene_load_fail, 2);
	t.load_texture(tex_fail_plane, 0, tex_col_rgb, tex_loaded, "p.png");
	t.load_texture(tex_fail_instl, 0, tex_col_rgb, tex_loaded, "i.png");
	EXPECT_TRUE(t.has_plane_load_fail());
	EXPECT_TRUE(t.has_instl_load_fail());
}

TEST_F(TmanGl, FailModeFourEndsTheProgram)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(t.load_texture(tex_fail_fatal, 409, tex_col_rgb, tex_loaded, "movie.png"),
	            ::testing::ExitedWithCode(1), "Trying to load a texture that you do not have!");
}

TEST_F(TmanGl, CandidateFilesWithAndWithoutNoDds)
{
	png("pic.png", 8, 8, 250, 0, 0);
	std::vector<unsigned char> blue(8 * 8 * 4);
	for (std::size_t i = 0; i < blue.size(); i += 4) blue[i + 2] = 250, blue[i + 3] = 255;
	ASSERT_EQ(TEX_save_dds("pic.dds", blue.data(), {GL_RGBA, 8, 8, 0, 0}), 1);
	const int a = t.load_texture(tex_fail_silent, 500, tex_col_rgba, tex_loaded, "pic.png");
	ASSERT_EQ(a, 500);
	EXPECT_EQ(t.ref_dat[500].gl_format, unsigned(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT));
	const char* args[] = {"installer", "--no_dds"};
	cmdline.init_unix(2, args);
	ASSERT_EQ(t.load_texture(tex_fail_silent, 501, tex_col_rgba, tex_loaded, "pic.png"), 501);
	EXPECT_EQ(t.ref_dat[501].gl_format, unsigned(GL_RGBA)) << "with --no_dds the name as given comes first";
	EXPECT_EQ(texels(501, 8, 8)[0], 250);
	// A name without a 4-character extension is tried only as given.
	ASSERT_EQ(std::rename(app.path("pic.png").c_str(), app.path("plain").c_str()), 0);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 502, tex_col_rgba, tex_loaded, "plain"), 502);
	EXPECT_EQ(t.load_texture(tex_fail_silent, 503, tex_col_rgba, tex_loaded, "pla"), 0);
	// A DDS file without a chain does not load.
	cmdline = UTL_cmdline{};
	ASSERT_TRUE(tex_test::run_in(app, "cp pic.dds flat.dds"));
	std::string flat = app.read("flat.dds");
	tex_test::put32(flat, 108, 0x1000);
	ASSERT_TRUE(app.write("flat.dds", flat));
	EXPECT_EQ(t.load_texture(tex_fail_silent, 504, tex_col_rgba, tex_loaded, "flat.png"), 0);
}

TEST_F(TmanGl, ResolutionLevelsAndScaleFlags)
{
	png("wide.png", 1024, 512, 9, 9, 9);
	mnw.texture_res = 4;
	t.load_texture(tex_fail_silent, 600, tex_col_rgba, tex_loaded, "wide.png");
	EXPECT_EQ(t.ref_dat[600].img_dx, 512);
	EXPECT_EQ(t.ref_dat[600].img_dy, 256);
	t.load_texture(tex_fail_silent, 601, tex_col_rgba | tex_flag_full_res, tex_loaded, "wide.png");
	EXPECT_EQ(t.ref_dat[601].img_dx, 1024);
	t.load_texture(tex_fail_silent, 602, tex_col_rgba | tex_flag_finer, tex_loaded, "wide.png");
	EXPECT_EQ(t.ref_dat[602].img_dx, 1024);
	mnw.texture_res = 3;
	t.load_texture(tex_fail_silent, 603, tex_col_rgba | tex_flag_finer, tex_loaded, "wide.png");
	EXPECT_EQ(t.ref_dat[603].img_dx, 512);
	EXPECT_EQ(t.ref_dat[603].tex_dy, 256);
	// A downscaled odd image is laid out at its texture's stride, padding zeroed.
	mnw.texture_res = 4;
	png("odd.png", 6, 2, 200, 100, 50);
	t.load_texture(tex_fail_silent, 604, tex_col_rgb, tex_loaded, "odd.png");
	EXPECT_EQ(t.ref_dat[604].img_dx, 3);
	EXPECT_EQ(t.ref_dat[604].tex_dx, 4);
	const auto tx = texels(604, 4, 1);
	EXPECT_EQ(tx[0], 200);
	EXPECT_EQ(tx[8], 200);
	EXPECT_EQ(tx[12], 0) << "padding column";
	// Too large a file is the size alert, read from its header before decoding.
	kx_test::AlertRecorder rec;
	std::string big = "\x89PNG\r\n\x1a\n";
	big += std::string("\0\0\0\x0dIHDR", 8);
	big += std::string("\0\0\x0b\xb8\0\0\0\x10\x08\x06\0\0\0", 13);
	ASSERT_TRUE(app.write("huge.png", big));
	EXPECT_THROW(t.load_texture(tex_fail_silent, 605, tex_col_rgba, tex_loaded, "huge.png"), kx_test::AlertExit);
	EXPECT_EQ(rec.alerts().at(0).line1, "Trying to create a texture either less than 1 or greater than 2048!");
	EXPECT_EQ(rec.alerts().at(0).line4, "3000");
}

TEST_F(TmanGl, ScratchImagesAndPowerOfTwo)
{
	if (!scratch_array) scratch_array = scratch_array_storage;
	std::fill(scratch_array, scratch_array + 1024 * 600 * 3, 77);
	scratch_dx = 1024;
	scratch_dy = 600;
	EXPECT_EQ(t.load_texture(tex_fail_fatal, 700, tex_col_rgb, tex_loaded, "scratch_array test"), 700);
	EXPECT_EQ(t.ref_dat[700].tex_dy, 1024);
	scratch_dx = 800;
	EXPECT_EQ(t.load_texture(tex_fail_fatal, 701, tex_col_rgb | tex_flag_no_pow2, tex_loaded, "scratch_array test"),
	          701);
	EXPECT_EQ(t.ref_dat[701].tex_dx, 800);
	EXPECT_EQ(t.load_texture(tex_fail_fatal, 702, tex_col_rgb, tex_loaded, "scratch_array test"), 702);
	EXPECT_EQ(t.ref_dat[702].tex_dx, 1024);
	kx_test::AlertRecorder rec;
	scratch_dx = 2049;
	EXPECT_THROW(t.load_texture(tex_fail_fatal, 703, tex_col_rgb, tex_loaded, "scratch_array test"),
	             kx_test::AlertExit);
	EXPECT_EQ(rec.alerts().at(0).line, 130);
}

TEST_F(TmanGl, TransparentPixelsTakeTheirNeighboursColourInFilesOnly)
{
	std::vector<unsigned char> px(4 * 4 * 4);
	for (std::size_t i = 0; i < px.size(); i += 4) px[i] = 255, px[i + 3] = 255;
	px[5 * 4] = 0, px[5 * 4 + 3] = 0;  // pixel (1, 1): transparent black
	ASSERT_EQ(TEX_save_png("hole.png", {GL_RGBA, 4, 4, 0, 0}, px.data()), 1);
	t.load_texture(tex_fail_silent, 800, tex_col_rgba, tex_loaded, "hole.png");
	auto tx = texels(800, 4, 4);
	EXPECT_EQ(tx[5 * 4], 255);
	EXPECT_EQ(tx[5 * 4 + 3], 0);
	if (!scratch_array) scratch_array = scratch_array_storage;
	std::copy(px.begin(), px.end(), scratch_array);
	scratch_dx = scratch_dy = 4;
	t.load_texture(tex_fail_silent, 801, tex_col_rgba, tex_loaded, "scratch_array hole");
	tx = texels(801, 4, 4);
	EXPECT_EQ(tx[5 * 4], 0);
}

TEST_F(TmanGl, CompressedUploadsAndSubImageReloads)
{
	std::vector<unsigned char> px(16 * 16 * 4, 0);
	for (std::size_t i = 0; i < px.size(); i += 4) px[i + 1] = 240, px[i + 3] = 255;
	ASSERT_EQ(TEX_save_dds("c.dds", px.data(), {GL_RGBA, 16, 16, 0, 0}), 1);
	g_real_sub = glExt.glCompressedTexSubImage2DARB;
	ASSERT_NE(g_real_sub, nullptr);
	glExt.glCompressedTexSubImage2DARB = counting_sub;
	g_sub_calls = 0;
	// No mipmap flag: the file's own chain goes up, and a reload may reuse the storage.
	ASSERT_EQ(t.load_texture(tex_fail_silent, 900, tex_col_rgba, tex_loaded, "c.png"), 900);
	GLint compressed = 0, size = 0;
	glBindTexture(GL_TEXTURE_2D, 900);
	glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED, &compressed);
	glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &size);
	TEX_reset_bind();
	EXPECT_EQ(compressed, 1);
	EXPECT_EQ(t.ref_dat[900].vram, size);
	EXPECT_EQ(g_sub_calls, 0);
	EXPECT_NEAR(texels(900, 16, 16)[1], 240, 8);
	// Reloaded with the same size and format: every level goes up as a sub-image.
	for (std::size_t i = 0; i < px.size(); i += 4) px[i] = 240, px[i + 1] = 0;
	ASSERT_EQ(TEX_save_dds("c.dds", px.data(), {GL_RGBA, 16, 16, 0, 0}), 1);
	ASSERT_EQ(t.load_texture(tex_fail_silent, 900, tex_col_rgba, tex_loaded, "c.png"), 900);
	EXPECT_EQ(g_sub_calls, 5);
	EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
	const auto tx = texels(900, 16, 16);
	EXPECT_NEAR(tx[0], 240, 8);
	EXPECT_NEAR(tx[1], 0, 8);
	glExt.glCompressedTexSubImage2DARB = g_real_sub;
	// Soft mipmaps of a plain file: each level halves each axis, down to 1 x 1.
	png("m.png", 8, 2, 50, 60, 70);
	ASSERT_EQ(t.load_texture(tex_fail_silent, 901, tex_col_rgba | tex_flag_mipmaps, tex_loaded, "m.png"), 901);
	glBindTexture(GL_TEXTURE_2D, 901);
	GLint w3 = 0, h3 = 0;
	glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH, &w3);
	glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_HEIGHT, &h3);
	unsigned char last[4] = {};
	glGetTexImage(GL_TEXTURE_2D, 3, GL_RGBA, GL_UNSIGNED_BYTE, last);
	TEX_reset_bind();
	EXPECT_EQ(w3, 1);
	EXPECT_EQ(h3, 1);
	EXPECT_EQ(last[0], 50);
}

TEST_F(TmanGl, BindCacheTalksToGlOnlyOnChange)
{
	const unsigned char c[4] = {1, 2, 3, 4};
	ASSERT_EQ(solid_ref(40, c), 40);
	ASSERT_EQ(solid_ref(41, c), 41);
	TEX_reset_bind();
	TEX_bind_ref(40, 0, 0);
	glBindTexture(GL_TEXTURE_2D, 0);  // behind the cache's back
	TEX_bind_ref(40, 0, GL_MODULATE);  // same entry as mode 0: no GL call
	GLint bound = -1;
	glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
	EXPECT_EQ(bound, 0);
	TEX_reset_bind();
	TEX_bind_ref(40, 0, 0);
	glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
	EXPECT_EQ(bound, 40);
	// Mode 25 binds but leaves the environment.
	glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
	TEX_bind_ref(41, 0, tex_env_keep);
	GLint env = 0;
	glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
	EXPECT_EQ(env, GL_REPLACE);
	glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
	EXPECT_EQ(bound, 41);
	EXPECT_EQ(o_mod[0], GL_MODULATE);
	// The debug switch draws everything but the interface atlas blank.
	gKillTex = 1;
	TEX_bind_ref(395, 0, 0);
	EXPECT_EQ(o_tex[0], 930);
	TEX_bind_ref(392, 0, 0);
	EXPECT_EQ(o_tex[0], 392);
	gKillTex = 0;
	// Units past unit 0 are selected and given back.
	if (ren.tex_units > 1) {
		TEX_bind_ref(41, 1, 0);
		GLint active = 0;
		glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
		EXPECT_EQ(active, GL_TEXTURE0);
		glActiveTexture(GL_TEXTURE1);
		glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
		glActiveTexture(GL_TEXTURE0);
		EXPECT_EQ(bound, 41);
	}
	// Without the combine extension a recipe number goes to GL as it stands.
	glExt.combine_avail = 0;
	TEX_reset_bind();
	TEX_bind_ref(40, 0, tex_env_alpha_grey);
	glGetError();
	glExt.combine_avail = 1;
	// A blend level on a unit the card lacks does nothing.
	float before[4], after[4];
	glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, before);
	TEX_set_blend_level(ren.tex_units, 0.7f);
	glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, after);
	EXPECT_EQ(before[0], after[0]);
	// A renderer that reports more units than the eight the caches know: units past
	// eight are out of reach of the blend level as of every other unit call.
	const int saved_units = ren.tex_units;
	ren.tex_units = 16;
	glGetError();
	TEX_set_blend_level(9, 0.7f);
	EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
	glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, after);
	EXPECT_EQ(before[0], after[0]);
	TEX_bind_ref(41, 9, 0);  // ignored, never an index past the caches
	ren.tex_units = saved_units;
}

TEST_F(TmanGl, RecipesComputeTheirFormulas)
{
	const unsigned char tc[4] = {200, 100, 40, 128};
	const unsigned char pc[4] = {100, 150, 250, 64};
	ASSERT_EQ(solid_ref(50, tc), 50);
	auto f = [](int v) { return v / 255.0; };
	auto expect_px = [&](uint32_t p, double r, double g, double b, double a, int mode) {
		EXPECT_NEAR(px_r(p), r * 255, 1.01) << "mode " << mode;
		EXPECT_NEAR(px_g(p), g * 255, 1.01) << "mode " << mode;
		EXPECT_NEAR(px_b(p), b * 255, 1.01) << "mode " << mode;
		EXPECT_NEAR(px_a(p), a * 255, 1.01) << "mode " << mode;
	};
	const double ta = f(tc[3]), pa = f(pc[3]);
	uint32_t p = draw(50, tex_env_mod_tex_alpha, pc);
	expect_px(p, f(pc[0]) * f(tc[0]), f(pc[1]) * f(tc[1]), f(pc[2]) * f(tc[2]), ta, 10);
	p = draw(50, tex_env_alpha_grey, pc);
	expect_px(p, ta, ta, ta, 1.0, 17);
	p = draw(50, tex_env_decal_alpha, pc);
	auto lerp = [](double a, double b, double w) { return a * w + b * (1 - w); };
	expect_px(p, lerp(f(tc[0]), f(pc[0]), ta), lerp(f(tc[1]), f(pc[1]), ta), lerp(f(tc[2]), f(pc[2]), ta), pa, 18);
	tman.set_blend_level(0, 0.25f);
	p = draw(50, tex_env_blend_level, pc);
	expect_px(p, lerp(f(tc[0]), f(pc[0]), 0.25), lerp(f(tc[1]), f(pc[1]), 0.25), lerp(f(tc[2]), f(pc[2]), 0.25),
	          lerp(ta, pa, 0.25), 21);
	p = draw(50, tex_env_mod_primary, pc);
	expect_px(p, f(pc[0]) * f(pc[0]), f(pc[1]) * f(pc[1]), f(pc[2]) * f(pc[2]), pa, 23);
}

TEST_F(TmanGl, HostileFilesFallBackToTheBlank)
{
	// Each is found by its name, refused by its reader, and leaves the ref borrowing the
	// blank texture; nothing reads or writes past a buffer (the sanitizer run checks).
	std::string dds = tex_test::dds_header(2048, 2048, "DXT5", 0x4, true);
	ASSERT_TRUE(app.write("chain.dds", dds + std::string(4096, '\x11')));
	ASSERT_TRUE(app.write("rgb.dds", tex_test::dds_header(64, 64, nullptr, 0x41, true, 24) + std::string(65536, '\0')));
	ASSERT_TRUE(app.write("rows.bmp", tex_test::bmp_header(64, 64) + std::string(100, '\x22')));
	ASSERT_TRUE(app.write("flip.bmp", tex_test::bmp_header(4, -4) + std::string(64, '\x22')));
	for (const char* name : {"chain.png", "rgb.png", "rows.bmp", "flip.bmp"}) {
		const int ref = t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, name);
		ASSERT_GE(ref, tman_first_named_ref) << name;
		EXPECT_EQ(t.ref_dat[ref].tex_id, t_blank_gray) << name;
	}
	// A header that promises more than 2048 pixels is the size alert before any decoding.
	kx_test::AlertRecorder rec;
	ASSERT_TRUE(app.write("wide.dds", tex_test::dds_header(4096, 4096, "DXT1", 0x4, true)));
	ASSERT_TRUE(app.write("broad.bmp", tex_test::bmp_header(5000, 2)));
	EXPECT_THROW(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "wide.png"), kx_test::AlertExit);
	EXPECT_THROW(t.load_texture(tex_fail_silent, 0, tex_col_rgb, tex_loaded, "broad.bmp"), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 2u);
	EXPECT_EQ(rec.alerts()[0].line, 130);
	EXPECT_EQ(rec.alerts()[1].line4, "5000");
}

TEST_F(TmanGl, AFreedRefLoadedAgainIsBoundAgain)
{
	// Deleting a texture unbinds its name in GL; the unit cache must forget it too, or the
	// next texture under the same ref would be drawn as no texture at all.
	png("first.png", 2, 2, 10, 10, 10);
	png("second.png", 2, 2, 0, 0, 250);
	const int ref = t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "first.png");
	t.bind_ref(ref, 0, GL_REPLACE);
	t.release_texture(ref);
	t.purge_unused_texes();
	ASSERT_EQ(t.load_texture(tex_fail_silent, 0, tex_col_rgba, tex_loaded, "second.png"), ref);
	EXPECT_TRUE(glIsTexture(GLuint(ref))) << "the upload went to the ref's own name";
	EXPECT_EQ(texels(ref, 2, 2)[2], 250);
	const unsigned char white[4] = {255, 255, 255, 255};
	const uint32_t p = draw_ref(ref, GL_REPLACE, white);
	EXPECT_EQ(px_b(p), 250);
	EXPECT_EQ(px_r(p), 0);
}

TEST_F(TmanGl, DdsFilesComeOutUprightInEveryFormat)
{
	if (!tex_test::have_tool("nvcompress")) GTEST_SKIP() << "nvidia-texture-tools is not installed";
	// 8 x 8: the bottom half red, the top half blue (bottom row first, as in memory).
	std::vector<unsigned char> px(8 * 8 * 4);
	for (int y = 0; y < 8; ++y)
		for (int x = 0; x < 8; ++x) {
			unsigned char* p = &px[(y * 8 + x) * 4];
			p[0] = y < 4 ? 240 : 0;
			p[2] = y < 4 ? 0 : 240;
			p[3] = 255;
		}
	ASSERT_EQ(TEX_save_png("src.png", {GL_RGBA, 8, 8, 0, 0}, px.data()), 1);
	int ref = 1000;
	for (const char* kind : {"-rgb", "-bc1", "-bc3"}) {
		const std::string name = std::string("up") + (kind + 1);
		ASSERT_TRUE(tex_test::run_in(app, std::string("nvcompress ") + kind + " src.png " + name + ".dds > /dev/null"));
		ASSERT_EQ(t.load_texture(tex_fail_silent, ref, tex_col_rgba, tex_loaded, name + ".png"), ref) << kind;
		const auto tx = texels(ref, 8, 8);
		EXPECT_NEAR(tx[0], 240, 8) << kind << ": the bottom row is red";
		EXPECT_NEAR(tx[2], 0, 8) << kind;
		EXPECT_NEAR(tx[(7 * 8) * 4 + 2], 240, 8) << kind << ": the top row is blue";
		EXPECT_NEAR(tx[(7 * 8) * 4], 0, 8) << kind;
		++ref;
	}
}
