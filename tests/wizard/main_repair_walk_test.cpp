// The repair and scenery flows walked screen by screen, as the wizard engine walks them,
// over DVDs the builder makes: release 1 of a master tree, then release 2 (files
// changed, added and removed) spread over several DVDs, all mounted. A copy of release 2
// is installed through the run screens, damaged, repaired, and its scenery changed.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "engine/builder/make_installer.h"
#include "engine/install.h"
#include "support/builder_run.h"
#include "support/archive_tools.h"
#include "support/gl_world.h"
#include "support/master_tree.h"
#include "wizard/main_screens.h"
#include "wizard_fixture.h"

namespace {

using kx_wizard_test::kProduct;

constexpr float kWholeDvdKb = 4000000.0f;
constexpr float kSmallDvdKb = 40.0f;   // spreads the release over several DVDs
constexpr char kUserBytes[] = "the user's own line\n";
// The repair and scenery screens do not read the frame clock.
constexpr float kNoClock = 0.0f;

std::vector<std::string> g_select_paths;
int select_keep(std::string path, int)
{
	g_select_paths.push_back(path);
	return 2;  // keep the user's file
}

// The path of a master-tree file inside an installed copy.
std::string in_copy(const std::string& copy, std::string master_path)
{
	trim_dest_folder(master_path);
	return copy + master_path;
}

time_t mtime_of(const std::string& p)
{
	struct stat st;
	return ::lstat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
}

class RepairWalk : public kx_wizard_test::WizardTest {
protected:
	RepairWalk()
	{
		xer.open(env.path("log.txt"));
		old_select = ENG_set_select_alert_hook(select_keep);
		g_select_paths.clear();
		old_build_type = build_type;
	}
	~RepairWalk() override
	{
		checksum_directory_kill();
		install_files_kill();
		ENG_set_select_alert_hook(old_select);
		build_type = old_build_type;
		dvd_install_is_running = repair_is_running = scenery_install_is_running = 0;
		num_install_errors = 0;
		set_install_filter(1, 1);
		xer.close();
	}

	void build(const std::string& master, const std::string& dst, int version, const std::string& old_list, float kb)
	{
		for (const kx_test::RecordedAlert& a : kx_test::build_release(master, dst, version, old_list, kb))
			EXPECT_NE(a.type, t_exit) << a.line1 << " " << a.line2;
	}

	// Mounts every DVD the build made and reads the set's file list.
	void mount_and_read(const std::string& dst)
	{
		for (int d = 0; dir_exists(dst + "disk_" + std::to_string(d) + "/"); ++d)
			ASSERT_EQ(::rename((dst + "disk_" + std::to_string(d)).c_str(),
			                   (media + "KESTRIX_DVD" + std::to_string(d + 1)).c_str()),
			          0);
		dvd_path = media + "KESTRIX_DVD1/";
		install_name = kProduct;
		ASSERT_EQ(zip_to_file(dvd_path + kProduct + "/directory.txt.zip", temp_path, nullptr, 0), 0);
		ASSERT_EQ(read_directory(temp_path + "directory.txt", ""), 3);
	}

	// Runs screens from `start` until `stop` is shown, pressing Continue where a screen
	// offers it; `each` sees every frame.
	void walk(screen_fn start, screen_fn stop, const std::function<void(screen_fn, wizard_screen&)>& each = {})
	{
		if (!kx_wizard_test::walk_screens(start, stop, each, trail, kNoClock, shown))
			FAIL() << "the walk did not reach " << wizard_screen_name(stop);
	}
	bool walked(const char* name) const { return std::find(trail.begin(), trail.end(), name) != trail.end(); }

	// A file of the tree under "All/" that is no scenery and none of `taken`.
	static std::string pick(const std::vector<std::string>& from, const std::vector<std::string>& taken)
	{
		for (const std::string& p : from)
			if (p.rfind("All/", 0) == 0 && p.find("Global Scenery") == std::string::npos &&
			    std::find(taken.begin(), taken.end(), p) == taken.end())
				return p;
		return "";
	}
	static std::string tile_path(const kx_test::MasterTree& t, const std::string& tile)
	{
		for (const std::string& p : t.tiles)
			if (p.find("/" + tile + ".dsf") != std::string::npos) return p;
		return "";
	}
	static int tile_word(const std::string& tile)
	{
		int lon = 0, lat = 0;
		EXPECT_TRUE(find_sector(&lon, &lat, tile + ".dsf"));
		return stg_tile(lat, lon);
	}

	std::unique_ptr<GlTestContext> world = open_gl_world(1024, 768);
	select_alert_fn old_select = nullptr;
	int old_build_type = 0;
	std::vector<std::string> trail;
	wizard_screen shown;
};

TEST_F(RepairWalk, ARepairMendsTheCopyAndTheSceneryFlowChangesItsTiles)
{
	const kx_test::MasterTreeOptions o{.seed = 23, .bulk_files = 16, .max_file_bytes = 20000, .tile_bytes = 20000,
	                                   .tile_names = {"+40-080", "+40-090", "-10+020"}};
	const std::string master = env.path("master/"), first = env.path("master1/");
	::mkdir(master.c_str(), 0755);
	kx_test::MasterTree t = kx_test::make_master_tree(master, o);
	ASSERT_EQ(kx_test::run_sh("cp -a " + kx_test::sh_quote(master) + " " + kx_test::sh_quote(first)), 0);
	build(master, env.path("masters1/"), 90001, "", kWholeDvdKb);
	::mkdir(env.path("gen1/").c_str(), 0755);
	ASSERT_EQ(zip_to_file(env.path("masters1/disk_0/") + kProduct + "/directory.txt.zip", env.path("gen1/"), nullptr, 0),
	          0);
	const kx_test::Generation g = kx_test::next_generation(t, 5, 3, 2, 2);
	build(master, env.path("masters2/"), 91001, env.path("gen1/directory.txt"), kSmallDvdKb);
	mount_and_read(env.path("masters2/"));
	ASSERT_TRUE(dir_exists(media + "KESTRIX_DVD2/")) << "the release spans DVDs";

	// Release 2 installed with every tile.
	const std::string copy = env.path("copy/");
	dest_dir_path = copy;
	set_install_filter(1, 1);
	int cursor = 0;
	float progress = 0.0f;
	ASSERT_EQ(checksum_directory(cursor, progress), 1) << "a folder not made yet holds nothing";
	scenery_take_all();
	recalc_disk_sizes();
	walk(dvd_run_install, dvd_done_install);
	ASSERT_EQ(num_install_errors, 0);
	ASSERT_TRUE(walked("dvd_verify_disk_install"));

	// One file deleted, one changed file back at release 1, one edited by the user, one
	// file release 2 removed put back.
	std::vector<std::string> touched = g.changed;
	touched.insert(touched.end(), g.removed.begin(), g.removed.end());
	const std::string missing = pick(t.shipped, touched);
	const std::string older = pick(g.changed, {});
	touched.push_back(missing);
	const std::string edited = pick(t.shipped, touched);
	const std::string removed = pick(g.removed, {});
	ASSERT_FALSE(missing.empty() || older.empty() || edited.empty() || removed.empty());
	ASSERT_EQ(::unlink(in_copy(copy, missing).c_str()), 0);
	kx_test::write_file(in_copy(copy, older), kx_test::read_file(first + older));
	kx_test::write_file(in_copy(copy, edited), kUserBytes);
	kx_test::write_file(in_copy(copy, removed), kx_test::read_file(first + removed));
	std::map<std::string, time_t> tile_times;
	for (const std::string& p : t.tiles) tile_times[p] = mtime_of(in_copy(copy, p));

	all_orvalas = {copy};
	dest_dir_path.clear();
	std::string confirm;
	walk(dvd_pick_repair, dvd_done_repair, [&](screen_fn f, wizard_screen& s) {
		if (f == dvd_confirm_repair) confirm = s.text;
	});
	EXPECT_EQ(confirm, "I need to install approximately 3 files to repair " + copy +
	                       ".\n\nClick continue to begin repairing Kestrix.");
	for (const char* name : {"dvd_pick_repair", "dvd_scan_repair", "dvd_confirm_repair", "dvd_install_repair"})
		EXPECT_TRUE(walked(name)) << name;
	EXPECT_EQ(shown.text, "I have finished repairing " + copy + " - click Go Back to return to the main menu.");
	ASSERT_EQ(g_select_paths.size(), 1u);
	EXPECT_NE(g_select_paths[0].find(in_copy("", edited)), std::string::npos) << g_select_paths[0];
	EXPECT_EQ(kx_test::read_file(in_copy(copy, missing)), kx_test::read_file(master + missing));
	EXPECT_EQ(kx_test::read_file(in_copy(copy, older)), kx_test::read_file(master + older));
	EXPECT_EQ(kx_test::read_file(in_copy(copy, edited)), kUserBytes);
	EXPECT_FALSE(kx_test::path_exists(in_copy(copy, removed)));
	for (const auto& [p, when] : tile_times) EXPECT_EQ(mtime_of(in_copy(copy, p)), when) << p;

	// Scenery: +40-090 off, -10+020 (taken off the copy first) on.
	const std::string gone_tile = tile_path(t, "+40-090"), new_tile = tile_path(t, "-10+020");
	const std::string kept_tile = tile_path(t, "+40-080");
	const std::string new_folder = in_copy(copy, new_tile.substr(0, new_tile.rfind('/') + 1));
	kx_test::remove_tree(new_folder);
	const time_t kept_time = mtime_of(in_copy(copy, kept_tile));
	bool map_seen = false;
	walk(dvd_pick_scenery, dvd_done_scenery, [&](screen_fn f, wizard_screen&) {
		if (f != dvd_edit_scenery || map_seen) return;
		map_seen = true;
		EXPECT_EQ(stg.scenery_selected[tile_word("+40-080")], 1);
		EXPECT_EQ(stg.scenery_selected[tile_word("+40-090")], 1);
		EXPECT_EQ(stg.scenery_selected[tile_word("-10+020")], 0);
		stg.scenery_selected[tile_word("+40-090")] = 0;
		stg.scenery_selected[tile_word("-10+020")] = 1;
		recalc_disk_sizes();
	});
	EXPECT_TRUE(map_seen);
	EXPECT_EQ(shown.text, "I have successfully added and removed scenery to match your choices on the map.");
	EXPECT_FALSE(kx_test::path_exists(in_copy(copy, gone_tile)));
	EXPECT_FALSE(kx_test::path_exists(in_copy(copy, gone_tile.substr(0, gone_tile.rfind('/')))));
	EXPECT_EQ(kx_test::read_file(in_copy(copy, new_tile)), kx_test::read_file(master + new_tile));
	EXPECT_EQ(mtime_of(in_copy(copy, kept_tile)), kept_time);
	EXPECT_EQ(kx_test::read_file(in_copy(copy, edited)), kUserBytes);

	// Continue without a click: nothing to do.
	map_seen = false;
	walk(dvd_pick_scenery, dvd_done_scenery);
	EXPECT_EQ(shown.text, "I have successfully updated scenery to match your choices on the map.");
	EXPECT_EQ(mtime_of(in_copy(copy, kept_tile)), kept_time);

	// Every tile cleared.
	walk(dvd_pick_scenery, dvd_done_scenery, [&](screen_fn f, wizard_screen&) {
		if (f != dvd_edit_scenery || map_seen) return;
		map_seen = true;
		for (int& w : stg.scenery_selected) w = 0;
		recalc_disk_sizes();
	});
	EXPECT_EQ(shown.text, "I have successfully removed scenery to match your choices on the map.");
	for (const std::string& p : t.tiles) EXPECT_FALSE(kx_test::path_exists(in_copy(copy, p))) << p;
	EXPECT_EQ(num_install_errors, 0);
}

}  // namespace
