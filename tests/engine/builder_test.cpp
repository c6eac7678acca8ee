#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "engine/builder/make_installer.h"
#include "engine/engine.h"
#include "engine_test_util.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_7z.h"
#include "runtime/io_utils_zip.h"
#include "support/archive_tools.h"
#include "support/bounded_wait.h"
#include "support/master_tree.h"
#include "support/test_env.h"

namespace {

using kx_engine_test::EngineTest;

class BuilderTest : public EngineTest {
protected:
	BuilderTest()
	{
		src = env.path("master/");
		dst = env.path("masters/");
		::mkdir(src.c_str(), 0755);
		::mkdir(dst.c_str(), 0755);
		src_fold = src;
		dst_fold_base = dst;
		old_dir_path.clear();
		read_old_dir_always = 0;
		build_type = 1;
		build_version = 91001;
		dvd_capacity_kb = 630000.0f;
	}
	~BuilderTest() override
	{
		if (ouf.is_open()) ouf.close();
		ouf.clear();
	}

	// Runs `step`; returns the quitting alert's first two lines, or "" when it finished.
	static std::string quitting_alert(const std::function<void()>& step, const kx_test::AlertRecorder& rec)
	{
		try {
			step();
		} catch (const kx_test::AlertExit&) {
			auto a = rec.alerts();
			return a.empty() ? "exit" : a.back().line1 + " | " + a.back().line2;
		}
		return "";
	}

	// Runs the builder; returns the quitting alert's first two lines, or "" when it finished.
	std::string build()
	{
		// The builder refuses masters that already exist: every build starts empty.
		kx_test::remove_tree(dst);
		::mkdir(dst.c_str(), 0755);
		kx_test::AlertRecorder rec;
		const std::string quit = quitting_alert(build_install, rec);
		if (!quit.empty()) return quit;
		auto a = rec.alerts();
		EXPECT_FALSE(a.empty());
		if (!a.empty()) {
			EXPECT_EQ(a.back().line1, "OK compression is done. Checklist if doing net:");
		}
		return "";
	}

	// The file list of the last build, unzipped from the first DVD.
	std::string file_list()
	{
		const std::string out = env.path("unzipped/");
		::mkdir(out.c_str(), 0755);
		EXPECT_EQ(zip_to_file(dst + "disk_0/Kestrix 9.10r1/directory.txt.zip", out, nullptr, 0), 0);
		return kx_test::read_file(out + "directory.txt");
	}

	std::string src, dst;
};

TEST_F(BuilderTest, BuildsArchivesListAndIdentityFile)
{
	kx_test::MasterTreeOptions o;
	o.bulk_files = 12;
	o.max_file_bytes = 20000;
	const kx_test::MasterTree t = kx_test::make_master_tree(src, o);
	ASSERT_EQ(build(), "");

	EXPECT_EQ(kx_test::read_file(dst + "disk_0/dvd_version.txt"), "I\n900 version\nDVD\n\nVERSION Kestrix 9.10r1\n");
	EXPECT_FALSE(file_exists(dst + "disk_0/Kestrix 9.10r1/directory.txt"));  // only its zip stays

	const std::string list = file_list();
	EXPECT_EQ(list.rfind("I\n900 version\nINSTALLER\n\n", 0), 0u);
	for (const std::string& p : t.shipped) {
		const bool seven = p.find("Global Scenery") != std::string::npos;
		EXPECT_TRUE(file_exists(dst + "disk_0/Kestrix 9.10r1/" + p + (seven ? ".7z" : ".zip"))) << p;
	}
	for (const std::string& p : t.dropped) EXPECT_EQ(list.find(p.substr(p.rfind('/') + 1)), std::string::npos) << p;

	// The list reads back: every shipped path once, with its digest and platform.
	const std::string list_path = env.path("unzipped/directory.txt");
	ASSERT_EQ(read_directory(list_path, ""), 3);
	EXPECT_EQ(sim_info.size(), t.shipped.size());
	int tiles = 0;
	for (const file_history_struct& h : sim_info) {
		ASSERT_EQ(h.size(), 1u);
		const file_version_struct& v = h.back();
		EXPECT_EQ(v.version, 91001);
		EXPECT_EQ(v.disk, 0);
		std::string digest;
		ASSERT_EQ(calc_file_md5(src + v.path, digest), 0) << v.path;
		EXPECT_EQ(v.sig, digest) << v.path;
		if (v.path.find("VTLM.so") != std::string::npos) {
			EXPECT_EQ(v.platform, 6);
		}
		if (v.path.find("VTLM.dll") != std::string::npos) {
			EXPECT_EQ(v.platform, 2);
		}
		if (v.path.find("VTLM.shlb") != std::string::npos) {
			EXPECT_EQ(v.platform, 1);
		}
		if (v.path.rfind("Linux/", 0) == 0) {
			EXPECT_EQ(v.platform, 3);
		}
		tiles += v.is_global;
	}
	EXPECT_EQ(tiles, static_cast<int>(t.tiles.size()));
	EXPECT_TRUE(stg.has_scenery);
	EXPECT_TRUE(stg.has_sim_files);

	// The Windows executable was made large-address-aware before it was zipped.
	const std::string exe = kx_test::read_file(src + "Windows/Kestrix.exe");
	EXPECT_EQ(static_cast<unsigned char>(exe[64 + 22]) & 0x20, 0x20);

	// A tile is a 7z archive holding the file under its own name.
	const std::string out = env.path("tile/");
	::mkdir(out.c_str(), 0755);
	ASSERT_EQ(p7z_to_file(dst + "disk_0/Kestrix 9.10r1/" + t.tiles[0] + ".7z", out, nullptr, 0), 0);
	EXPECT_EQ(kx_test::read_file(out + t.tiles[0].substr(t.tiles[0].rfind('/') + 1)), kx_test::read_file(src + t.tiles[0]));
}

TEST_F(BuilderTest, SpreadsOverAsManyDvdsAsNeeded)
{
	kx_test::MasterTreeOptions o;
	o.bulk_files = 30;
	o.max_file_bytes = 60000;
	kx_test::make_master_tree(src, o);
	dvd_capacity_kb = 80.0f;
	ASSERT_EQ(build(), "");

	const std::string list = file_list();
	ASSERT_EQ(read_directory(env.path("unzipped/directory.txt"), ""), 3);
	int last_disk = 0;
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& v = h.back();
		EXPECT_GE(v.disk, last_disk) << "DVD numbers only grow along the list";
		last_disk = v.disk;
		const bool seven = v.path.find("Global Scenery") != std::string::npos;
		EXPECT_TRUE(file_exists(dst + "disk_" + std::to_string(v.disk) + "/Kestrix 9.10r1/" + v.path + (seven ? ".7z" : ".zip")))
			<< v.path << " on DVD " << v.disk;
	}
	EXPECT_GE(last_disk, 3) << "more than three DVDs must be possible";
	EXPECT_EQ(list.find("DISK 0"), std::string::npos);
	EXPECT_NE(list.find("DISK 1\n"), std::string::npos);
}

TEST_F(BuilderTest, CarriesHistoryMarksGoneFilesAndKeepsOneLinePerContent)
{
	kx_test::MasterTreeOptions o;
	o.bulk_files = 10;
	o.max_file_bytes = 8000;
	kx_test::MasterTree t = kx_test::make_master_tree(src, o);
	build_version = 90001;
	ASSERT_EQ(build(), "");
	const std::string first_list = env.path("first_directory.txt");
	kx_test::write_file(first_list, file_list());

	const kx_test::Generation g = kx_test::next_generation(t, 7, 2, 1, 2);
	build_version = 91001;
	old_dir_path = first_list;
	read_old_dir_always = 1;
	ASSERT_EQ(build(), "");
	const std::string list = file_list();
	ASSERT_EQ(read_directory(env.path("unzipped/directory.txt"), ""), 3);

	auto history = [&](const std::string& path) -> const file_history_struct* {
		for (const file_history_struct& h : sim_info)
			if (h.back().path == path) return &h;
		return nullptr;
	};
	for (const std::string& p : g.changed) {
		const file_history_struct* h = history(p);
		ASSERT_NE(h, nullptr) << p;
		ASSERT_EQ(h->size(), 2u) << p;
		EXPECT_EQ((*h)[0].version, 90001);
		EXPECT_EQ((*h)[1].version, 91001);
		EXPECT_NE((*h)[0].sig, (*h)[1].sig);
	}
	for (const std::string& p : g.removed) {
		const file_history_struct* h = history(p);
		ASSERT_NE(h, nullptr) << p;
		ASSERT_EQ(h->size(), 2u) << p;
		EXPECT_EQ(h->back().sig, "GONE");
		EXPECT_EQ(h->back().version, 91001);
		EXPECT_EQ(h->back().size_kb, 0.0f);
	}
	for (const std::string& p : g.added) {
		const file_history_struct* h = history(p);
		ASSERT_NE(h, nullptr) << p;
		EXPECT_EQ(h->size(), 1u);
	}
	// An unchanged file is listed once, with the new stamp.
	const file_history_struct* same = history("All/Resources/menus/English/Kestrix.txt");
	ASSERT_NE(same, nullptr);
	EXPECT_EQ(same->size(), 1u);
	EXPECT_EQ(same->back().version, 91001);
}

TEST_F(BuilderTest, RefusesBadMasterTrees)
{
	kx_test::MasterTreeOptions o;
	o.bulk_files = 2;
	const kx_test::MasterTree t = kx_test::make_master_tree(src, o);
	kx_test::write_file(src + "All/Resources/Readme copy.txt", "x");
	EXPECT_EQ(build(), "YOU IDIOT! | found a copy file!");
	::unlink((src + "All/Resources/Readme copy.txt").c_str());

	kx_test::write_file(src + "All/Resources/main.cpp", "x");
	EXPECT_EQ(build(), "YOU IDIOT! | found a .cpp file!");
	::unlink((src + "All/Resources/main.cpp").c_str());

	// Names the file list would read back as other paths.
	for (const char* odd : {"All/Resources/ leading blank.txt", "All/Resources/two\nlines/x.txt", "All/Resources/cr\r.txt"}) {
		kx_test::write_file(src + odd, "x");
		EXPECT_EQ(build(), "YOU IDIOT! | found a name the directory file cannot hold!") << odd;
		::unlink((src + odd).c_str());
	}
	::rmdir((src + "All/Resources/two\nlines").c_str());

	kx_test::write_file(src + "All/stray.txt", "x");
	EXPECT_EQ(build(), "YOU IDIOT! | I FOUND A FILE INSIDE THE 'ALL' FOLDER! WE SHOULD ONLY HAVE FOLDERS THERE!");
	::unlink((src + "All/stray.txt").c_str());

	::mkdir((src + "All/Extras").c_str(), 0755);
	EXPECT_EQ(build().rfind("What the hell is THIS doing in here!?!?!?", 0), 0u);
	::rmdir((src + "All/Extras").c_str());

	// The scan drops a file it cannot read; a tile that turns into a FIFO after the scan
	// is no file to pack into its 7z archive: the run stops, never waits on it.
	const std::string tile = src + t.tiles[0];
	ASSERT_EQ(::unlink(tile.c_str()), 0);
	ASSERT_EQ(::mkfifo(tile.c_str(), 0600), 0);
	kx_test::finishes_within("packing a FIFO of the master tree", [&] {
		kx_test::AlertRecorder rec;
		set_dest_dvd(0);
		EXPECT_EQ(quitting_alert([&] { comp_file(tile); }, rec),
		          "I could not zip a file! | " + error_str(err_file_open_read));
	});
	::unlink(tile.c_str());

	kx_test::remove_tree(src + "All/Weapons/");
	EXPECT_EQ(build(), "YOU IDIOT! | !found_wpn_fold");
}

TEST_F(BuilderTest, NameRulesLookOnlyInsideTheMasterTree)
{
	// A master tree kept below a folder whose name the filter rejects still builds.
	src = env.path("work.copy/master/");
	::mkdir(env.path("work.copy").c_str(), 0755);
	::mkdir(src.c_str(), 0755);
	src_fold = src;
	kx_test::MasterTreeOptions o;
	o.bulk_files = 3;
	const kx_test::MasterTree t = kx_test::make_master_tree(src, o);
	ASSERT_EQ(build(), "");
	file_list();
	ASSERT_EQ(read_directory(env.path("unzipped/directory.txt"), ""), 3);
	EXPECT_EQ(sim_info.size(), t.shipped.size());
}

TEST_F(BuilderTest, AMissingOrUnreadablePreviousListStopsTheRun)
{
	kx_test::MasterTreeOptions o;
	o.bulk_files = 2;
	kx_test::make_master_tree(src, o);
	// Only a build that names no previous list is a first build.
	old_dir_path = env.path("no such list.txt");
	EXPECT_EQ(build(), "");
	read_old_dir_always = 1;
	EXPECT_EQ(build().rfind("I could not read the old directory!", 0), 0u);
	struct stat st;
	EXPECT_NE(::stat((dst + "disk_0").c_str(), &st), 0);  // nothing written

	kx_test::write_file(env.path("bad list.txt"), "I\n700 version\nINSTALLER\n\n");
	old_dir_path = env.path("bad list.txt");
	EXPECT_EQ(build().rfind("I could not read the old directory!", 0), 0u);
}

TEST_F(BuilderTest, PathsThatDifferOnlyInCaseAreRefusedBeforeAnythingIsWritten)
{
	kx_test::MasterTreeOptions o;
	o.bulk_files = 2;
	kx_test::make_master_tree(src, o);
	kx_test::write_file(src + "All/Resources/fonts/Font.txt", "upper");
	kx_test::write_file(src + "All/Resources/fonts/font.txt", "lower");
	kx_test::AlertRecorder rec;
	EXPECT_EQ(build(), "YOU IDIOT! | found two paths that differ only in letter case!");
	const auto a = rec.alerts();
	ASSERT_FALSE(a.empty());
	EXPECT_EQ(std::set<std::string>({a.back().line3, a.back().line4}),
	          std::set<std::string>({"All/Resources/fonts/Font.txt", "All/Resources/fonts/font.txt"}));
	EXPECT_TRUE(kx_test::tree_listing(dst).empty());

	// Only names that differ in case: another folder of the same name is no twin.
	::unlink((src + "All/Resources/fonts/font.txt").c_str());
	kx_test::write_file(src + "All/Instructions/font.txt", "lower");
	EXPECT_EQ(build(), "");
}

TEST(BuilderCommandLine, WithoutBothFoldersItPrintsTheUsage)
{
	kx_test::TempEnv env;
	for (const std::string& args : {std::string(""), "src=" + env.path("m"), "dst=" + env.path("d"),
	                                "src= dst=" + env.path("d")}) {
		SCOPED_TRACE(args);
		const std::string out = env.path("out.txt");
		const int status = std::system(("cd " + env.root() + " && " KX_BUILDER_EXE " " + args + " >" + out + " 2>&1").c_str());
		ASSERT_TRUE(WIFEXITED(status));
		EXPECT_EQ(WEXITSTATUS(status), 2);
		EXPECT_EQ(kx_test::read_file(out).rfind("usage: kestrix-builder src=FOLDER dst=FOLDER", 0), 0u);
		EXPECT_TRUE(kx_test::tree_listing(env.path("d")).empty());
	}
}

// The builder on a terminal: everything it writes there (its progress line, a quitting
// alert) while the master tree's names hold escape sequences. Returns the bytes, or
// "timeout" when the run does not end in time.
std::string builder_on_a_terminal(const std::string& folder, const std::string& args)
{
	constexpr int kTimeLimitMs = 120000;
	int master = -1;
	const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
	if (pid < 0) return "no terminal";
	if (pid == 0) {
		if (chdir(folder.c_str()) != 0) _exit(127);
		execl("/bin/sh", "sh", "-c", (std::string(KX_BUILDER_EXE) + " " + args).c_str(), static_cast<char*>(nullptr));
		_exit(127);
	}
	std::string seen;
	char buf[4096];
	int waited = 0;
	for (;;) {
		struct pollfd p = {master, POLLIN, 0};
		constexpr int kSliceMs = 100;
		const int r = poll(&p, 1, kSliceMs);
		if (r == 0 && (waited += kSliceMs) > kTimeLimitMs) {
			kill(pid, SIGKILL);
			seen = "timeout";
			break;
		}
		if (r <= 0) continue;
		const ssize_t n = read(master, buf, sizeof buf);
		if (n <= 0) break;  // the terminal's last writer is gone
		seen.append(buf, static_cast<size_t>(n));
	}
	close(master);
	int status = 0;
	waitpid(pid, &status, 0);
	return seen;
}

TEST_F(BuilderTest, NamesOnTheTerminalAreSpelledOut)
{
	kx_test::MasterTreeOptions o;
	o.bulk_files = 2;
	kx_test::make_master_tree(src, o);
	const std::string args = "'src=" + src + "' 'dst=" + dst + "'";
	// A folder whose name colours the text and a file whose name sets the window title:
	// both are shipped. The progress line names every 20th file, so the folder holds enough
	// files for one of them to be shown, spelled out.
	constexpr int kFilesBetweenProgressLines = 20;
	kx_test::write_file(src + "All/Resources/\x1b]0;owned\x07title.txt", "x");
	::mkdir((src + "All/Resources/\x1b[31mred").c_str(), 0755);
	for (int i = 0; i < kFilesBetweenProgressLines; ++i)
		kx_test::write_file(src + "All/Resources/\x1b[31mred/" + std::to_string(i) + ".txt", std::to_string(i));
	kx_test::remove_tree(dst);
	std::string seen = builder_on_a_terminal(env.root(), args);
	EXPECT_NE(seen.find("\\x1b[31mred/"), std::string::npos) << seen;
	EXPECT_EQ(seen.find('\x1b'), std::string::npos) << seen;
	EXPECT_EQ(seen.find('\x07'), std::string::npos) << seen;

	// A name the list cannot hold stops the run with a quitting alert that names it.
	kx_test::write_file(src + "All/Resources/\x1b[2Jcr\r.txt", "x");
	kx_test::remove_tree(dst);
	seen = builder_on_a_terminal(env.root(), args);
	EXPECT_NE(seen.find("found a name the directory file cannot hold!"), std::string::npos) << seen;
	EXPECT_NE(seen.find("\\x1b[2Jcr\\r.txt"), std::string::npos) << seen;
	EXPECT_EQ(seen.find('\x1b'), std::string::npos) << seen;
}

TEST_F(BuilderTest, AFileListThatCannotBeOpenedIsNoSuccess)
{
	kx_test::MasterTreeOptions o;
	o.bulk_files = 2;
	kx_test::make_master_tree(src, o);
	kx_test::remove_tree(dst);
	::mkdir(dst.c_str(), 0755);
	// With every descriptor taken the folders can still be made but no file opened.
	const pid_t pid = fork();
	ASSERT_GE(pid, 0);
	if (pid == 0) {
		kx_test::AlertRecorder rec;
		while (::dup(0) >= 0) {
		}
		int status = 1;
		try {
			build_install();
		} catch (const kx_test::AlertExit&) {
			const auto a = rec.alerts();
			if (!a.empty() && a.back().line1 == "I could not write the directory file!") status = 0;
		}
		_exit(status);
	}
	int status = -1;
	ASSERT_EQ(waitpid(pid, &status, 0), pid);
	EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(BuilderPaths, FolderPartAndIndexKey)
{
	std::string out;
	get_path_with_path(out, "a/b/c.txt");
	EXPECT_EQ(out, "a/b/");
	get_path_with_path(out, "a/b/");
	EXPECT_EQ(out, "a/");
	get_path_with_path(out, "c.txt");
	EXPECT_EQ(out, "");
	get_path_with_path(out, "a/");
	EXPECT_EQ(out, "a/");
	get_path_with_path(out, "");
	EXPECT_EQ(out, "");

	std::string k = "All/Resources/x";
	chop_platform(k, 0);
	EXPECT_EQ(k, "ALL_os/Resources/x");
	k = "All/Resources/plugins/VTLM.so";
	chop_platform(k, 6);
	EXPECT_EQ(k, "/Resources/plugins/VTLM.so");
	no_case_compare_string less;
	EXPECT_FALSE(less("ALL_os/A", "all_os/a"));
	EXPECT_FALSE(less("all_os/a", "ALL_os/A"));
}

}  // namespace
