// A run ended by force at a random moment (the machine loses power, the user kills
// the installer) leaves every installed file whole: the old version or the new one.
// A repair afterwards brings the folder to the wanted state.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "engine/install.h"
#include "engine/install_fixture.h"
#include "engine/install_paths.h"
#include "support/archive_tools.h"

using namespace kx_install_test;
using kx_test::read_file;
using kx_test::write_file;

namespace {

struct kill_case {
	std::vector<dvd_file> files;
	std::vector<std::string> old_content;  // empty: the file was not there before
};

// Old versions on disk, new versions on the DVD, one dropped file.
kill_case build(const run_setup& s)
{
	kill_case k;
	for (int i = 0; i < 24; ++i) {
		const bool scenery = i % 4 == 3;
		const std::string path = scenery ? "All/Global Scenery/+40-0" + std::to_string(10 + i) + "/+40-0" +
		                                       std::to_string(10 + i) + ".dsf"
		                                 : "All/d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".bin";
		k.files.push_back({path, random_bytes(150000 + 1000 * i, 100 + i), i < 16 ? 0 : 1,
		                   i % 2 ? archiver::ours : archiver::info_zip});
		k.old_content.push_back(i % 5 == 4 ? std::string() : random_bytes(90000 + 500 * i, 500 + i));
	}
	master(s, k.files);
	for (size_t i = 0; i < k.files.size(); ++i) {
		file_version_struct& w = sim_info[i].back();
		if (k.old_content[i].empty()) continue;
		std::string rel = w.path;
		trim_dest_folder(rel);
		write_file(dest_dir_path + rel, k.old_content[i]);
		sim_info[i].insert(sim_info[i].begin(), version(w.path, md5_of(k.old_content[i])));
	}
	// A file the new release drops.
	write_file(dest_dir_path + "d0/dropped.txt", "dropped");
	add_history(version("All/d0/dropped.txt", "GONE"), {version("All/d0/dropped.txt", md5_of("dropped"))});
	return k;
}

void scan()
{
	int cursor = 0;
	float progress = 0;
	while (checksum_directory(cursor, progress) == 0) sched_yield();
}

// The whole install as the wizard runs it, with both DVDs; one byte to `out` per
// frame, paced like frames.
[[noreturn]] void child_install(const run_setup& s, int out)
{
	run_setup& r = const_cast<run_setup&>(s);
	scan();
	if (choose_files() != 1 || make_dirs() != 0) _exit(2);
	delete_files();
	int cursor = 0;
	for (;;) {
		const int res = install_files(cursor, current_disk);
		if (res == 1) break;
		if (res == 2) r.insert_disk(1);
		if (res == 3) _exit(3);
		const char tick = 1;
		if (write(out, &tick, 1) != 1) _exit(4);
		poll(nullptr, 0, 1);
	}
	_exit(0);
}

int no_question(std::string, int)
{
	ADD_FAILURE() << "a file whose digest matches a known version was asked about";
	return 3;
}

}  // namespace

// Kills the install running in a child after a random number of frames.
void install_and_kill(const run_setup& s, std::mt19937& rng)
{
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	const pid_t pid = fork();
	ASSERT_GE(pid, 0);
	if (pid == 0) {
		close(fds[0]);
		child_install(s, fds[1]);
	}
	close(fds[1]);
	const int frames = (int)(rng() % 45);
	char buf;
	for (int i = 0; i < frames && read(fds[0], &buf, 1) == 1; ++i) {
	}
	kill(pid, SIGKILL);
	int status = 0;
	waitpid(pid, &status, 0);
	close(fds[0]);
}

bool has_marked_names(const std::string& folder)
{
	return run("find " + quote(folder) + " -name '" + std::string(kx_temp_mark) + "*' | grep -q .") == 0;
}

TEST(InstallKill, EveryFileIsOldOrNewAndARepairFinishes)
{
	constexpr int kills_per_seed = 5;
	for (unsigned seed : {1u, 2u, 3u, 4u}) {
		SCOPED_TRACE(seed);
		kx_test::TempEnv env;
		run_setup s(env);
		const kill_case k = build(s);
		std::vector<file_history_struct> model = sim_info;
		std::mt19937 rng(seed);

		for (int kill_no = 0; kill_no < kills_per_seed; ++kill_no) {
			SCOPED_TRACE(kill_no);
			sim_info = model;
			s.insert_disk(0);
			install_and_kill(s, rng);

			// Each file is its old version (or still absent), or its new version.
			for (size_t i = 0; i < k.files.size(); ++i) {
				std::string rel = k.files[i].path;
				trim_dest_folder(rel);
				const std::string p = dest_dir_path + rel;
				if (!exists(p)) {
					EXPECT_TRUE(k.old_content[i].empty()) << p;
					continue;
				}
				const std::string got = read_file(p);
				EXPECT_TRUE(got == k.files[i].content || got == k.old_content[i]) << p;
			}
			if (exists(dest_dir_path + "d0/dropped.txt")) {
				EXPECT_EQ(read_file(dest_dir_path + "d0/dropped.txt"), "dropped");
			}
		}

		// The repair: scan, choose (every changed file matches a known version, so
		// nothing is asked), folders, deletions, the run over both DVDs.
		sim_info = model;
		s.insert_disk(0);
		const select_alert_fn old = ENG_set_select_alert_hook(no_question);
		scan();
		ASSERT_EQ(choose_files(), 1);
		ENG_set_select_alert_hook(old);
		ASSERT_EQ(make_dirs(), 0);
		delete_files();
		int cursor = 0;
		int r;
		while ((r = step_until_done(cursor)) == 2) s.insert_disk(1);
		ASSERT_EQ(r, 1);
		for (size_t i = 0; i < k.files.size(); ++i) {
			std::string rel = k.files[i].path;
			trim_dest_folder(rel);
			EXPECT_EQ(md5_of(read_file(dest_dir_path + rel)), md5_of(k.files[i].content)) << rel;
		}
		EXPECT_FALSE(exists(dest_dir_path + "d0/dropped.txt"));
		// Nothing the killed runs wrote for a while is left: not in the installation,
		// not among the copied archives.
		EXPECT_FALSE(has_marked_names(dest_dir_path));
		EXPECT_FALSE(has_marked_names(temp_path));
		sim_info.clear();
	}
}

namespace {

// Runs the install in a child whose files may not grow past `limit` bytes (as on a
// full disk, writes fail), and returns the first error the run reported.
std::pair<int, std::string> install_with_file_limit(rlim_t limit, const std::string& result_file)
{
	const pid_t pid = fork();
	if (pid == 0) {
		signal(SIGXFSZ, SIG_IGN);
		struct rlimit rl = {limit, limit};
		setrlimit(RLIMIT_FSIZE, &rl);
		int cursor = 0;
		if (choose_files() != 1 || make_dirs() != 0) _exit(2);
		const int r = step_until_done(cursor);
		std::string msg;
		const int code = install_files_get_error(msg);
		install_files_kill();
		write_file(result_file, std::to_string(r) + " " + std::to_string(code) + "\n" + msg);
		_exit(0);
	}
	int status = 0;
	EXPECT_TRUE(kx_test::reap_within(pid, &status, "The install on a full disk"));
	EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
	const std::string got = read_file(result_file);
	const size_t nl = got.find('\n');
	if (nl == std::string::npos) return {-1, got};
	EXPECT_EQ(got.substr(0, 2), "3 ");
	return {std::stoi(got.substr(2, nl - 2)), got.substr(nl + 1)};
}

}  // namespace

TEST(InstallFullDisk, ACopyThatDoesNotFitIsAnError)
{
	kx_test::TempEnv env;
	run_setup s(env);
	master(s, {{"All/big.bin", random_bytes(300000, 1), 0}});
	const auto [code, msg] = install_with_file_limit(100000, env.path("result.txt"));
	EXPECT_EQ(code, EFBIG);
	EXPECT_EQ(msg.rfind("I was unable to copy the file " + s.dvd_root + "disk_0/", 0), 0u) << msg;
	EXPECT_FALSE(exists(dest_dir_path + "big.bin"));
	EXPECT_TRUE(kx_test::tree_listing(temp_path).empty());  // no partial copy left
	sim_info.clear();
}

TEST(InstallFullDisk, AnUnpackThatDoesNotFitKeepsTheOldFile)
{
	kx_test::TempEnv env;
	run_setup s(env);
	// Zeros pack small; the unpacked file does not fit.
	master(s, {{"All/a/zeros.bin", std::string(1000000, '\0'), 0, archiver::ours}});
	write_file(dest_dir_path + "a/zeros.bin", "old");
	sim_info[0].insert(sim_info[0].begin(), version("All/a/zeros.bin", md5_of("old")));
	sim_info[0].back().sig_have = md5_of("old");
	const auto [code, msg] = install_with_file_limit(200000, env.path("result.txt"));
	EXPECT_NE(code, 0);
	const std::string archive = s.dvd_root + "disk_0/" + install_name + "/All/a/zeros.bin.zip";
	EXPECT_EQ(msg.rfind("I was unable to unzip the file " + archive, 0), 0u) << msg;
	EXPECT_EQ(read_file(dest_dir_path + "a/zeros.bin"), "old");
	EXPECT_FALSE(has_marked_names(dest_dir_path));
	sim_info.clear();
}
