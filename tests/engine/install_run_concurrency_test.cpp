// The DVD install run on its two pools: a two-DVD run from DVD masters built with
// independent archivers, and cancelling with a full copy pool.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/install.h"
#include "engine/install_fixture.h"
#include "engine/install_paths.h"

using namespace kx_install_test;
using kx_test::read_file;

namespace {

bool folder_is_empty(const std::string& folder)
{
	std::vector<std::string> names;
	std::vector<int> kinds;
	return opensave_getitems(folder, 0, names, kinds) == 0;
}

// No file of an unfinished unpack left anywhere below `folder`.
bool no_unpack_files_left(const std::string& folder)
{
	return run("find " + quote(folder) + " -name '" + std::string(kx_temp_mark) + "*' | grep -q .") != 0;
}

}  // namespace

TEST(InstallRun, TwoDvdsLandByteIdenticalWithModesLinksAndTimes)
{
	kx_test::TempEnv env;
	run_setup s(env);
	std::vector<dvd_file> files(7);
	files[0] = {"All/Resources/text/a.txt", "plain text\n", 0, archiver::info_zip, 0640, 1400000000};
	files[1] = {"All/Resources/plugins/tool", random_bytes(200000, 1), 0, archiver::ours, 0755, 1450000000};
	files[2] = {"All/Resources/text/a_link.txt", "a.txt", 0, archiver::info_zip};
	files[2].link = true;
	files[3] = {"All/Global Scenery/+40-080/+40-080.dsf", random_bytes(300000, 2), 0};
	files[4] = {"All/Kestrix.app/Contents/MacOS/Kestrix", random_bytes(1000, 3), 1, archiver::info_zip, 0644};
	files[5] = {"All/Resources/empty.txt", "", 1, archiver::ours};
	files[6] = {"All/b/c/d.txt", "second disc\n", 1, archiver::ours, 0600, 1300000000};
	master(s, files);
	// A current file of DVD 1 between files of DVD 0: feeding stops there for a step.
	file_version_struct current = version("All/current.txt", md5_of("x"), 1);
	current.sig_have = current.sig;
	current.have = 1;
	sim_info.insert(sim_info.begin() + 2, file_history_struct{current});

	ASSERT_EQ(choose_files(), 1);
	ASSERT_EQ(make_dirs(), 0);
	delete_files();
	int cursor = 0;
	ASSERT_EQ(step_until_done(cursor), 2);
	EXPECT_EQ(want_file_disk, 5);
	EXPECT_EQ(cursor, 5);
	EXPECT_EQ(sim_info[5].back().path, files[4].path);
	EXPECT_EQ(read_file(dest_dir_path + "Resources/text/a.txt"), files[0].content);
	EXPECT_FALSE(exists(dest_dir_path + "b/c/d.txt"));
	EXPECT_NE(copy_pool, nullptr);  // the run waits for the next DVD with its pools

	s.insert_disk(1);
	ASSERT_EQ(step_until_done(cursor), 1);
	EXPECT_EQ(copy_pool, nullptr);
	EXPECT_EQ(unzip_pool, nullptr);

	for (const dvd_file& f : files) {
		SCOPED_TRACE(f.path);
		std::string rel = f.path;
		trim_dest_folder(rel);
		const std::string p = dest_dir_path + rel;
		struct stat st;
		ASSERT_EQ(lstat(p.c_str(), &st), 0);
		if (f.link) {
			std::string target;
			EXPECT_EQ(is_sim_link(p.c_str(), &target), 1);
			EXPECT_EQ(target, f.content);
			continue;
		}
		EXPECT_EQ(read_file(p), f.content);
		if (f.path.find("Global Scenery") != std::string::npos) continue;  // 7z keeps no modes or times
		if (f.path.find("Contents/MacOS/") != std::string::npos)
			EXPECT_EQ(st.st_mode & 0777, 0755u);
		else
			EXPECT_EQ(st.st_mode & 0777, f.mode);
		EXPECT_EQ(st.st_mtime, f.mtime);
	}
	for (const file_history_struct& h : sim_info) {
		EXPECT_EQ(h.back().have, 1) << h.back().path;
		EXPECT_EQ(h.back().sig_have, h.back().sig);
	}
	EXPECT_TRUE(folder_is_empty(temp_path));
	EXPECT_TRUE(no_unpack_files_left(dest_dir_path));
	std::string msg = "x";
	EXPECT_EQ(install_files_get_error(msg), 0);
	EXPECT_EQ(msg, "");
}

TEST(InstallRun, CancellingWithThirtyCopiesQueuedFinishesThemAndStartsNothingElse)
{
	kx_test::TempEnv env;
	run_setup s(env);
	std::vector<dvd_file> files;
	for (int i = 0; i < 40; ++i)
		files.push_back({"All/many/f" + std::to_string(i) + ".bin", random_bytes(20000 + i, 10 + i), 0,
		                 i % 2 ? archiver::ours : archiver::info_zip});
	master(s, files);
	ASSERT_EQ(choose_files(), 1);
	ASSERT_EQ(make_dirs(), 0);

	int cursor = 0;
	ASSERT_EQ(install_files(cursor, 0), 0);
	EXPECT_EQ(cursor, 30);  // the copy pool holds 30 tasks
	install_files_kill();
	EXPECT_EQ(copy_pool, nullptr);
	EXPECT_EQ(unzip_pool, nullptr);
	for (int i = 0; i < 40; ++i) {
		SCOPED_TRACE(i);
		const std::string p = dest_dir_path + "many/f" + std::to_string(i) + ".bin";
		if (i < 30) {
			EXPECT_EQ(read_file(p), files[i].content);
			EXPECT_EQ(sim_info[i].back().have, 1);
		} else {
			EXPECT_FALSE(exists(p));
			EXPECT_EQ(sim_info[i].back().have, 0);
		}
	}
	EXPECT_TRUE(no_unpack_files_left(dest_dir_path));
	EXPECT_TRUE(folder_is_empty(temp_path));
	install_files_kill();  // nothing running: nothing happens

	// The same run can be started again from where it stood.
	ASSERT_EQ(step_until_done(cursor), 1);
	for (int i = 30; i < 40; ++i)
		EXPECT_EQ(read_file(dest_dir_path + "many/f" + std::to_string(i) + ".bin"), files[i].content);
}
