// The whole pipeline as users meet it: the builder makes a DVD set from a generated
// master tree, a headless driver plays the wizard's part to install from it frame by
// frame, and every byte is checked. Then upgrades, repairs, scenery edits and faults.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/engine.h"
#include "engine/install.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "runtime/rec_stg.h"
#include "support/builder_run.h"
#include "support/master_tree.h"
#include "support/test_env.h"

namespace {

int g_changed_answer = 2;
std::string g_replace_path;
int g_questions = 0;
int scripted_select(std::string, int)
{
	++g_questions;
	return g_changed_answer;
}
int scripted_abort(std::string, std::string, std::string, std::string, std::string) { return 0; }

std::string quote(const std::string& s)
{
	std::string q = "'";
	for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
	return q + "'";
}

class PipelineTest : public ::testing::Test {
protected:
	PipelineTest()
	{
		master = env.path("master/");
		masters = env.path("masters/");
		install = env.path("Kestrix 9/");
		::mkdir(master.c_str(), 0755);
		old_select_ = ENG_set_select_alert_hook(scripted_select);
		old_abort_ = ENG_set_abort_alert_hook(scripted_abort);
		g_changed_answer = 2;
		g_questions = 0;
	}
	~PipelineTest() override
	{
		install_files_kill();
		checksum_directory_kill();
		ENG_set_select_alert_hook(old_select_);
		ENG_set_abort_alert_hook(old_abort_);
		if (ouf.is_open()) ouf.close();
		sim_info.clear();
		dest_dir_path.clear();
		dvd_path.clear();
	}

	// The builder, as its executable would run it; `old_list` carries the history on.
	void build(int version, const std::string& old_list, float dvd_kb)
	{
		std::vector<kx_test::RecordedAlert> alerts;
		ASSERT_NO_THROW(alerts = kx_test::build_release(master, masters, version, old_list, dvd_kb));
		ASSERT_FALSE(alerts.empty());
		ASSERT_EQ(alerts.back().type, t_alert);
	}

	// Keeps this generation's file list for the next build.
	std::string keep_list(const std::string& name)
	{
		const std::string out = env.path(name + "/");
		::mkdir(out.c_str(), 0755);
		EXPECT_EQ(zip_to_file(masters + "disk_0/Kestrix 9.10r1/directory.txt.zip", out, nullptr, 0), 0);
		return out + "directory.txt";
	}

	void insert_dvd(int n)
	{
		current_disk = n;
		dvd_path = masters + "disk_" + std::to_string(n) + "/";
	}

	enum tiles { all_tiles, installed_tiles };

	// The wizard's part: identify DVD 1, read its list, scan the install folder, select,
	// choose, make the folders, delete, then one install step per frame, inserting the
	// DVD the run asks for. Returns the run's last result (1 done, 3 error) or -1 when
	// the choice was cancelled.
	int run_install(tiles t, const std::map<int, int>& tile_changes = {})
	{
		insert_dvd(0);
		std::ifstream id(dvd_path + "dvd_version.txt");
		std::string line;
		install_name.clear();
		while (std::getline(id, line))
			if (line.rfind("VERSION ", 0) == 0) install_name = line.substr(8);
		EXPECT_EQ(install_name, "Kestrix 9.10r1");
		EXPECT_EQ(get_OS_abs_path(4, temp_path), 0);
		EXPECT_EQ(zip_to_file(dvd_path + install_name + "/directory.txt.zip", temp_path, nullptr, 0), 0);
		stg.target_os = 3;
		EXPECT_EQ(read_directory(temp_path + "directory.txt", ""), 3);

		dest_dir_path = install;
		set_install_filter(1, 1);
		int cursor = 0;
		float progress = 0;
		int frames = 0;
		while (checksum_directory(cursor, progress) == 0) ++frames;
		if (t == all_tiles)
			scenery_take_all();
		else
			scenery_from_install();
		for (const auto& c : tile_changes) stg.scenery_selected[c.first] = c.second;
		recalc_disk_sizes();

		if (!choose_files()) return -1;
		make_dirs();
		delete_files();
		cursor = 0;
		dvd_switches = 0;
		for (;;) {
			const int r = install_files(cursor, current_disk);
			if (r == 0) continue;
			if (r == 3) {
				last_error_code = install_files_get_error(last_error);
				return r;
			}
			if (r != 2) return r;
			// The verify and change-DVD screens: the archive lies on another DVD.
			insert_dvd(sim_info[static_cast<size_t>(want_file_disk)].back().disk);
			++dvd_switches;
		}
	}

	// The install folder against the wanted versions of the file list: every wanted
	// Linux file present with its digest (md5sum -c, an independent tool), links as
	// links, nothing of the other platforms.
	void check_install(const kx_test::MasterTree& t, const std::map<std::string, std::string>& user_kept = {})
	{
		const std::string sums = env.path("sums.md5");
		std::ofstream list(sums);
		int listed = 0;
		for (const file_history_struct& h : sim_info) {
			const file_version_struct& w = h.back();
			std::string rel = w.path;
			trim_dest_folder(rel);
			const std::string p = install + rel;
			const bool ours = w.platform == 0 || w.platform == 3 || w.platform == 6;
			const bool tile_off = w.is_global && !stg.scenery_selected[stg_tile(w.lat_band, w.lon_band)];
			struct stat st;
			if (w.sig == "GONE" || !ours || tile_off) {
				// Files of the other platforms are never installed; removed files and
				// deselected tiles are gone.
				if (w.sig == "GONE" || tile_off || !ours) {
					EXPECT_NE(lstat(p.c_str(), &st), 0) << "should not be there: " << p;
				}
				continue;
			}
			if (user_kept.count(w.path)) {
				EXPECT_EQ(kx_test::read_file(p), user_kept.at(w.path)) << p;
				continue;
			}
			ASSERT_EQ(lstat(p.c_str(), &st), 0) << "missing: " << p;
			if (t.links.count(w.path)) {
				ASSERT_TRUE(S_ISLNK(st.st_mode)) << p;
				char buf[4096];
				const ssize_t n = readlink(p.c_str(), buf, sizeof buf);
				EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), t.links.at(w.path));
				continue;
			}
			list << w.sig << "  " << p << "\n";
			++listed;
			struct stat ms;
			ASSERT_EQ(stat((master + w.path).c_str(), &ms), 0) << w.path;
			EXPECT_EQ(st.st_mode & 0777, ms.st_mode & 0777) << p;
			// Zip entries carry the file's time (to the two seconds of their date
			// format); the 7z reader writes bytes only.
			if (!w.is_global) {
				EXPECT_LE(std::llabs(static_cast<long long>(st.st_mtime - ms.st_mtime)), 2) << p;
			}
		}
		list.close();
		ASSERT_GT(listed, 10);
		EXPECT_EQ(std::system(("md5sum -c --quiet " + quote(sums) + " >" + quote(env.path("md5sum.out")) + " 2>&1").c_str()), 0)
			<< kx_test::read_file(env.path("md5sum.out"));
		// No temporary file of the run is left where a later scan would count it.
		EXPECT_NE(std::system(("find " + quote(install) + " -name '*.kxtmp*' | grep -q .").c_str()), 0);
	}

	kx_test::TempEnv env;
	std::string master, masters, install;
	int dvd_switches = 0;
	std::string last_error;
	int last_error_code = 0;

private:
	select_alert_fn old_select_;
	abort_alert_fn old_abort_;
};

kx_test::MasterTreeOptions pipeline_tree()
{
	const kx_test::MasterTreeOptions o{.seed = 42, .bulk_files = 60, .max_file_bytes = 150000, .tile_count = 6,
	                                   .tile_bytes = 200000, .tile_names = {}};
	return o;
}

TEST_F(PipelineTest, FreshInstallUpgradeRepairAndScenery)
{
	kx_test::MasterTree t = kx_test::make_master_tree(master, pipeline_tree());
	build(90001, "", 700.0f);
	ASSERT_TRUE(dir_exists(masters + "disk_2/")) << "the set must span at least three DVDs";
	const std::string gen1_list = keep_list("gen1");

	// A first-time install across every DVD.
	ASSERT_EQ(run_install(all_tiles), 1) << last_error;
	EXPECT_GE(dvd_switches, 2);
	check_install(t);
	EXPECT_EQ(g_questions, 0);

	// The next release: changed, added and removed files, built against the first list.
	const kx_test::Generation g = kx_test::next_generation(t, 9, 4, 3, 3);
	build(91001, gen1_list, 700.0f);
	// The user edited two files that the release changes: one is replaced, one kept.
	const std::string edited_replace = g.changed[0], edited_keep = g.changed[1];
	std::string r0 = edited_replace, r1 = edited_keep;
	trim_dest_folder(r0);
	trim_dest_folder(r1);
	kx_test::write_file(install + r0, "my own edit");
	kx_test::write_file(install + r1, "my other edit");
	int asked = 0;
	g_questions = 0;
	ENG_set_select_alert_hook([](std::string path, int) {
		++g_questions;
		return path.find("file") != std::string::npos && path == g_replace_path ? 1 : 2;
	});
	g_replace_path = install + r0;
	ASSERT_EQ(run_install(installed_tiles), 1);
	asked = g_questions;
	EXPECT_EQ(asked, 2);
	check_install(t, {{edited_keep, "my other edit"}});
	for (const std::string& p : g.removed) {
		std::string r = p;
		trim_dest_folder(r);
		EXPECT_FALSE(file_exists(install + r)) << p;
	}

	// Damage: a missing, a corrupted and a truncated file; a repair brings them back.
	std::vector<std::string> victims;
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& w = h.back();
		if (w.platform == 0 && w.sig != "GONE" && !t.links.count(w.path) && w.size_kb > 1 && w.path != edited_keep)
			victims.push_back(w.path);
		if (victims.size() == 3) break;
	}
	ASSERT_EQ(victims.size(), 3u);
	std::string v0 = victims[0], v1 = victims[1], v2 = victims[2];
	trim_dest_folder(v0);
	trim_dest_folder(v1);
	trim_dest_folder(v2);
	::unlink((install + v0).c_str());
	kx_test::write_file(install + v1, "corrupted");
	::truncate((install + v2).c_str(), 10);
	// A repair asks about files that match no known version; replacing them is the repair.
	ENG_set_select_alert_hook([](std::string path, int) {
		++g_questions;
		return path == g_replace_path ? 2 : 1;
	});
	g_replace_path = install + r1;  // keep the user's own edit
	g_questions = 0;
	ASSERT_EQ(run_install(installed_tiles), 1);
	check_install(t, {{edited_keep, "my other edit"}});

	// Scenery: remove one tile, then add it back.
	const file_version_struct* tile = nullptr;
	for (const file_history_struct& h : sim_info)
		if (h.back().is_global) tile = &h.back();
	ASSERT_NE(tile, nullptr);
	const int word = stg_tile(tile->lat_band, tile->lon_band);
	std::string tile_rel = tile->path;
	trim_dest_folder(tile_rel);
	ASSERT_TRUE(file_exists(install + tile_rel));
	ASSERT_EQ(run_install(installed_tiles, {{word, 0}}), 1);
	EXPECT_FALSE(file_exists(install + tile_rel));
	check_install(t, {{edited_keep, "my other edit"}});
	ASSERT_EQ(run_install(installed_tiles, {{word, 1}}), 1);
	EXPECT_TRUE(file_exists(install + tile_rel));
	check_install(t, {{edited_keep, "my other edit"}});
}

TEST_F(PipelineTest, DamagedOrMissingArchivesEndInAnErrorAndTearNothing)
{
	kx_test::MasterTree t = kx_test::make_master_tree(master, pipeline_tree());
	build(91001, "", 700.0f);
	ASSERT_EQ(run_install(all_tiles), 1) << last_error;
	check_install(t);

	// A second release would replace these; instead their archives are damaged.
	const kx_test::Generation g = kx_test::next_generation(t, 5, 3, 0, 0);
	const std::string list = keep_list("gen1");
	build(92001, list, 700.0f);
	std::map<std::string, std::string> before;
	for (const std::string& p : g.changed) {
		std::string r = p;
		trim_dest_folder(r);
		before[p] = kx_test::read_file(install + r);
	}
	auto archive_of = [&](const std::string& p) {
		for (int d = 0; d < 16; ++d) {
			const std::string a = masters + "disk_" + std::to_string(d) + "/Kestrix 9.10r1/" + p + ".zip";
			if (file_exists(a)) return a;
		}
		return std::string();
	};
	const std::string a0 = archive_of(g.changed[0]), a1 = archive_of(g.changed[1]), a2 = archive_of(g.changed[2]);
	ASSERT_FALSE(a0.empty());
	ASSERT_FALSE(a1.empty());
	ASSERT_FALSE(a2.empty());
	// One fault at a time, each on its own archive: a corrupt, a truncated and a
	// missing archive each end the run with the message, and tear nothing.
	const std::string good[3] = {kx_test::read_file(a0), kx_test::read_file(a1), kx_test::read_file(a2)};
	const std::string archives[3] = {a0, a1, a2};
	auto restore = [&] {
		for (int i = 0; i < 3; ++i) kx_test::write_file(archives[i], good[i]);
	};
	// Each fault meets the installation as the first release left it.
	const std::string first_release = env.path("first release/");
	ASSERT_EQ(std::system(("cp -a " + quote(install) + " " + quote(first_release)).c_str()), 0);
	for (int fault = 0; fault < 3; ++fault) {
		restore();
		kx_test::remove_tree(install);
		ASSERT_EQ(std::system(("cp -a " + quote(first_release) + " " + quote(install)).c_str()), 0);
		const std::string& a = archives[fault];
		if (fault == 0) {
			std::string d = good[0];
			for (size_t i = 40; i + 30 < d.size(); i += 7) d[i] = static_cast<char>(d[i] ^ 0x5a);
			kx_test::write_file(a, d);
		} else if (fault == 1) {
			::truncate(a.c_str(), static_cast<off_t>(good[1].size() / 2));
		} else {
			::unlink(a.c_str());
		}
		last_error.clear();
		EXPECT_EQ(run_install(installed_tiles), 3) << "fault " << fault;
		EXPECT_NE(last_error_code, 0) << "fault " << fault;
		EXPECT_NE(last_error.find(fault == 2 ? "unable to copy" : "unable to unzip"), std::string::npos) << last_error;
		install_files_kill();
		for (const std::string& p : g.changed) {
			std::string r0 = p;
			trim_dest_folder(r0);
			const std::string now = kx_test::read_file(install + r0);
			EXPECT_TRUE(now == before[p] || now == kx_test::read_file(master + p)) << p << " is torn";
		}
	}
	// With the archives whole again, the same run finishes the upgrade.
	restore();
	ASSERT_EQ(run_install(installed_tiles), 1) << last_error;
	check_install(t);
}

}  // namespace
