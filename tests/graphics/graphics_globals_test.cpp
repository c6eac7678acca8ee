#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "graphics/TEX_utils.h"
#include "graphics/colr.h"
#include "graphics/ogl_draw.h"
#include "graphics/tman.h"
#include "graphics/xcam.h"
#include "runtime/UTL_stat.h"

namespace {

void expect_rgb(const colr_class& c, int i, float r, float g, float b)
{
	EXPECT_EQ(c.palette[i][0], r) << "entry " << i;
	EXPECT_EQ(c.palette[i][1], g) << "entry " << i;
	EXPECT_EQ(c.palette[i][2], b) << "entry " << i;
}

const UTL_stat* filed_stat(const std::string& name)
{
	for (const auto& [type, stats] : all_stats)
		for (const UTL_stat* s : stats)
			if (name == s->name) return s;
	return nullptr;
}

}  // namespace

// The layer's statistics as a viewer of the registry finds them: the debug switches
// under type 4, the per-frame counts under type 2.
TEST(Statistics, TheDrawingLayerFilesItsSwitchesAndCounts)
{
	UTL_stat::init_stats();
	const UTL_stat* kill_tex = filed_stat("perf/kill_tex");
	ASSERT_NE(kill_tex, nullptr);
	EXPECT_EQ(kill_tex->type, 4);
	EXPECT_EQ(kill_tex->target, &gKillTex);
	for (const char* name : {"perf/kill_clip", "perf/kill_cull", "shadow/extra_near"}) {
		const UTL_stat* s = filed_stat(name);
		ASSERT_NE(s, nullptr) << name;
		EXPECT_EQ(s->type, 4) << name;
	}
	for (const char* name : {"num_xdl_bind", "num_xdl_bind_ind"}) {
		const UTL_stat* s = filed_stat(name);
		ASSERT_NE(s, nullptr) << name;
		EXPECT_EQ(s->type, 2) << name;
	}
}

TEST(Palette, StartValues)
{
	const colr_class c;
	expect_rgb(c, 0, 1.0f, 1.0f, 1.0f);
	expect_rgb(c, 53, 0.7f, 0.7f, 1.0f);
	expect_rgb(c, 72, 0.49f, 0.43f, 0.24f);
	expect_rgb(c, 102, 1.0f, 1.0f, 0.9f);
	// The interface colours and the pulsing entries start black until start-up and the
	// frame clock fill them.
	for (int i : {11, 14, 16, 34, 39, 45, 48, 79, 84, 89, 96, 103, 104}) expect_rgb(c, i, 0, 0, 0);
	EXPECT_EQ(c.image_gamma, 1.8);
	EXPECT_EQ(c.display_gamma, 1.8);
	EXPECT_EQ(c.gamma_on, 0);
	for (int i = 0; i < 256; ++i) ASSERT_EQ(c.gamma_table[i], i);
	EXPECT_EQ(c.lites[0], 1.0f);
	EXPECT_EQ(c.lites[2], 1.0f);
	EXPECT_EQ(c.pulse, 0.0f);
	EXPECT_EQ(c.spec_range, 0.0f);
	EXPECT_EQ(c.spectrum[999][2], 0.0f);
}

TEST(Palette, AssignStoresAndIgnoresIndicesOutsideThePalette)
{
	colr_class c;
	c.assign(79, 0.7f, 0.7f, 0.7f);
	expect_rgb(c, 79, 0.7f, 0.7f, 0.7f);
	const float lites_before[3] = {c.lites[0], c.lites[1], c.lites[2]};
	c.assign(105, 0.1f, 0.2f, 0.3f);  // one behind the end would land on the light levels
	c.assign(-1, 0.1f, 0.2f, 0.3f);
	EXPECT_EQ(std::memcmp(lites_before, c.lites, sizeof(lites_before)), 0);
	EXPECT_EQ(c.gamma_table[255], 255);
}

TEST(TextureManager, StartsEmptyWithNoFailures)
{
	tman_class t;
	EXPECT_TRUE(t.ref_dat.empty());
	EXPECT_EQ(t.loaded_texes, 0);
	EXPECT_EQ(t.total_texes, 0);
	EXPECT_EQ(t.async_cursor, 0);
	EXPECT_EQ(t.async_job, nullptr);
	EXPECT_EQ(t.force_finish, nullptr);
	EXPECT_FALSE(t.has_scene_load_fail());
	EXPECT_FALSE(t.has_plane_load_fail());
	EXPECT_FALSE(t.has_instl_load_fail());
	// The recursive lock may be taken twice by one thread.
	std::lock_guard<std::recursive_mutex> a(t.lock);
	std::lock_guard<std::recursive_mutex> b(t.lock);
}

TEST(TextureManager, LoadFailFlagsAreReportedUntilMuted)
{
	tman_class t;
	t.instl_load_fail = 1;
	EXPECT_TRUE(t.has_instl_load_fail());
	EXPECT_FALSE(t.has_scene_load_fail());
	t.mute_instl_load_fail();
	EXPECT_FALSE(t.has_instl_load_fail());
	EXPECT_EQ(t.instl_load_fail, 2);
	t.reset_instl_load_fail();
	EXPECT_EQ(t.instl_load_fail, 0);
}

TEST(TextureManager, FreeRecord)
{
	const tman_class::ref_dat_struct r;
	EXPECT_EQ(r.name, "un-inited");
	EXPECT_EQ(r.tex_id, 0);
	EXPECT_EQ(r.gl_format, 0u);
	EXPECT_EQ(r.load_time, tex_uninited);
	EXPECT_EQ(r.fail_mode, tex_fail_fatal);
	EXPECT_EQ(r.ref_count, -1);
	EXPECT_EQ(r.vram, 0);
}

TEST(TextureManager, NameHashIsTheClassicStringHash)
{
	const tex_name_hash h;
	EXPECT_EQ(h(""), 0u);
	EXPECT_EQ(h("ab"), 5u * 'a' + 'b');
	// Bytes above 0x7F count as negative characters.
	EXPECT_EQ(h("\xFF"), static_cast<std::size_t>(-1));
}

TEST(Camera, StartsOrthographicWithIdentityMatrices)
{
	const xcam_class c;
	EXPECT_TRUE(c.is_ortho);
	EXPECT_TRUE(c.changed);
	EXPECT_TRUE(c.read_back);
	EXPECT_EQ(std::memcmp(c.projection, gIdentity, sizeof(gIdentity)), 0);
	EXPECT_EQ(std::memcmp(c.modelview, gIdentity, sizeof(gIdentity)), 0);
	EXPECT_EQ(c.modelview[0] + c.modelview[5] + c.modelview[10] + c.modelview[15], 4.0);
	EXPECT_EQ(c.modelview[12], 0.0);
}

TEST(Camera, PointerCopyTakesTheWholeRecordOrNothing)
{
	xcam_class a;
	a.is_ortho = false;
	a.near_z = -1.5;
	a.modelview[12] = 7.0;
	const xcam_class b(&a);
	EXPECT_FALSE(b.is_ortho);
	EXPECT_EQ(b.near_z, -1.5);
	EXPECT_EQ(b.modelview[12], 7.0);
	const xcam_class c(nullptr);
	EXPECT_TRUE(c.is_ortho);
	EXPECT_EQ(c.modelview[12], 0.0);
}

TEST(FontMetrics, ProportionalAdvances)
{
	auto width = [](const std::string& s) {
		int w = 0;
		for (unsigned char ch : s) w += ui_char_advance[ch];
		return w;
	};
	EXPECT_EQ(ui_char_advance[' '], 3);
	EXPECT_EQ(ui_char_advance['M'], 10);
	EXPECT_EQ(ui_char_advance['W'], 11);
	EXPECT_EQ(ui_char_advance['c'], 5);
	EXPECT_EQ(ui_char_advance['|'], 3);
	EXPECT_EQ(ui_char_advance['\\'], 3);
	EXPECT_EQ(ui_char_advance[0xFB], 3);
	EXPECT_EQ(ui_char_advance[0xBF], 6);
	// Quotes, braces, tilde, control and most high bytes have no advance.
	for (int ch : {0, 9, 31, int('"'), int('{'), int('}'), int('~'), 0x7F, 0xBE, 0xC0, 0xFF}) EXPECT_EQ(ui_char_advance[ch], 0) << ch;
	EXPECT_EQ(width("OK"), 9 + 7);
	EXPECT_EQ(width("0123456789"), 60);
}
