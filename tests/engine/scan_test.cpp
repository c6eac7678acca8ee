#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>

#include "engine/install.h"
#include "engine_test_util.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_thread.h"
#include "runtime/io_utils.h"

using namespace kx_engine_test;

namespace {

// Steps a scan the way a screen does, once per frame, until it reports done.
void scan_to_end()
{
	int cursor = 0;
	float progress = -1.0f;
	int steps = 0;
	while (!checksum_directory(cursor, progress)) ASSERT_LT(++steps, 1000000);
}

class ScanTest : public EngineTest {
protected:
	ScanTest() { dest_dir_path = env.path("Kestrix 9/"); }
	std::string on_disk(const std::string& rel) { return dest_dir_path + rel; }
};

TEST(TrimDestFolder, DropsThePlatformFolder)
{
	const std::pair<std::string, std::string> cases[] = {
	    {"All/Resources/x.txt", "Resources/x.txt"}, {"Windows/a/b", "a/b"}, {"plain", "plain"}, {"/lead", "lead"},
	    {"", ""}};
	for (const auto& [in, out] : cases) {
		std::string p = in;
		trim_dest_folder(p);
		EXPECT_EQ(p, out) << in;
	}
}

TEST_F(ScanTest, MissingInstallFolderMakesEveryFileAbsentAtOnce)
{
	sim_info.push_back({version_of("All/a", "x"), version_of("All/a", md5_of("a"))});
	sim_info.push_back({version_of("Windows/b", md5_of("b"), 2)});  // not wanted on Linux: still marked
	sim_info.push_back({version_of("All/gone", "GONE")});
	sim_info[0][0].sig_have = "untouched";
	int cursor = 5;
	float progress = 0.25f;
	EXPECT_EQ(checksum_directory(cursor, progress), 1);
	EXPECT_EQ(cursor, 5);
	EXPECT_EQ(progress, 0.25f);
	EXPECT_EQ(checksum_workers, nullptr);
	for (auto& h : sim_info) {
		EXPECT_EQ(h.back().sig_have, "NONE");
		EXPECT_EQ(h.back().have, 0);
	}
	EXPECT_EQ(sim_info[0][0].sig_have, "untouched");  // only wanted versions are marked
}

TEST_F(ScanTest, DigestsCurrentChangedMissingLinkedAndSpecialEntries)
{
	ASSERT_TRUE(kx_test::write_file(on_disk("Resources/current.txt"), "current"));
	ASSERT_TRUE(kx_test::write_file(on_disk("Resources/changed.txt"), "edited by the user"));
	ASSERT_TRUE(kx_test::write_file(on_disk("empty.txt"), ""));
	ASSERT_EQ(symlink("does/not/exist", on_disk("Resources/link").c_str()), 0);
	ASSERT_EQ(mkfifo(on_disk("Resources/fifo").c_str(), 0600), 0);
	ASSERT_EQ(mkdir(on_disk("Resources/folder").c_str(), 0755), 0);
	ASSERT_TRUE(kx_test::write_file(on_disk("Resources/unwanted.txt"), "mac"));

	sim_info.push_back({version_of("All/Resources/current.txt", md5_of("current"))});
	sim_info.push_back({version_of("All/Resources/changed.txt", md5_of("original"))});
	sim_info.push_back({version_of("Linux/Resources/missing.txt", md5_of("m"), 3)});
	sim_info.push_back({version_of("All/Resources/link", md5_of("does/not/exist"))});
	sim_info.push_back({version_of("All/Resources/fifo", md5_of(""))});
	sim_info.push_back({version_of("All/Resources/folder", md5_of(""))});
	sim_info.push_back({version_of("Macintosh/Resources/unwanted.txt", md5_of("mac"), 1)});
	sim_info.push_back({version_of("All/empty.txt", md5_of(""))});
	sim_info.push_back({version_of("All/gone", "GONE")});

	scan_to_end();
	EXPECT_EQ(checksum_workers, nullptr);

	auto& cur = sim_info[0].back();
	EXPECT_EQ(cur.sig_have, md5_of("current"));
	EXPECT_EQ(cur.have, 1);
	auto& changed = sim_info[1].back();
	EXPECT_EQ(changed.sig_have, md5_of("edited by the user"));  // the real digest, for the chooser
	EXPECT_EQ(changed.have, 0);
	EXPECT_EQ(sim_info[2].back().sig_have, "NONE");
	EXPECT_EQ(sim_info[2].back().have, 0);
	EXPECT_EQ(sim_info[3].back().sig_have, md5_of("does/not/exist"));  // the link's text
	EXPECT_EQ(sim_info[3].back().have, 1);
	// A FIFO or folder where a file belongs is present but no version of the file.
	for (int i : {4, 5}) {
		EXPECT_NE(sim_info[i].back().sig_have, "NONE") << i;
		EXPECT_NE(sim_info[i].back().sig_have, md5_of("")) << i;
		EXPECT_EQ(sim_info[i].back().have, 0) << i;
	}
	EXPECT_TRUE(sim_info[6].back().sig_have.empty());  // a Mac file is not looked at
	EXPECT_EQ(sim_info[6].back().have, 0);
	EXPECT_EQ(sim_info[7].back().sig_have, md5_of(""));
	EXPECT_EQ(sim_info[7].back().have, 1);
	EXPECT_EQ(sim_info[8].back().sig_have, "NONE");
	EXPECT_EQ(sim_info[8].back().have, 0);
}

// Every question asked about a file the user changed, by path.
std::vector<std::string> g_asked;
int record_question(std::string path, int)
{
	g_asked.push_back(path);
	return 2;  // keep it
}

TEST_F(ScanTest, NothingIsReadThroughAFolderLinkOrAPathThatLeadsOut)
{
	const std::string outside = env.path("outside/");
	ASSERT_TRUE(kx_test::write_file(outside + "x.txt", "outside"));
	ASSERT_TRUE(kx_test::write_file(outside + "gone.txt", "outside"));
	ASSERT_TRUE(kx_test::write_file(on_disk("Versions/A/lib"), "inside"));
	ASSERT_EQ(symlink("../outside", on_disk("Resources").c_str()), 0);
	ASSERT_EQ(symlink("Resources", on_disk("chain").c_str()), 0);     // a link to that link
	ASSERT_EQ(symlink("Versions/A", on_disk("Current").c_str()), 0);  // a bundle's version link
	ASSERT_EQ(symlink("../outside/x.txt", on_disk("alias.txt").c_str()), 0);

	const std::string theirs = md5_of("outside");
	sim_info.push_back({version_of("All/Resources/x.txt", theirs)});
	sim_info.push_back({version_of("All/Resources/gone.txt", "GONE")});
	sim_info.push_back({version_of("All/chain/x.txt", theirs)});
	sim_info.push_back({version_of("All/../outside/x.txt", theirs)});
	// A path through a link to a folder of the copy is refused by the install and
	// delete steps alike, so it is not counted as installed either.
	sim_info.push_back({version_of("All/Current/lib", md5_of("inside"))});
	// Links as entries of their own are their target text, wherever they point.
	sim_info.push_back({version_of("All/Current", md5_of("Versions/A"))});
	sim_info.push_back({version_of("All/alias.txt", theirs)});
	sim_info.push_back({version_of("All/Versions/A/lib", md5_of("inside"))});

	scan_to_end();
	for (int i : {0, 1, 2, 3, 4}) {
		EXPECT_EQ(sim_info[i].back().sig_have, "NONE") << sim_info[i].back().path;
		EXPECT_EQ(sim_info[i].back().have, 0) << sim_info[i].back().path;
	}
	EXPECT_EQ(sim_info[5].back().have, 1);
	EXPECT_EQ(sim_info[6].back().sig_have, md5_of("../outside/x.txt"));
	EXPECT_EQ(sim_info[7].back().have, 1);

	// So the user is asked about nothing outside, and nothing there is to delete.
	g_asked.clear();
	const select_alert_fn old = ENG_set_select_alert_hook(record_question);
	EXPECT_EQ(choose_files(), 1);
	ENG_set_select_alert_hook(old);
	EXPECT_EQ(g_asked, std::vector<std::string>{dest_dir_path + "alias.txt"});  // the link itself, changed
	EXPECT_EQ(sim_info[1].back().remove, 0);
}

// What happens to the large file once its digest has opened it.
enum class file_change { cut_short, grown };
constexpr off_t kLargeFile = off_t(80) << 20;  // larger than any file was ever mapped for its digest
constexpr char kLargeName[] = "large.bin";
file_change g_change = file_change::cut_short;

void change_large_file(const std::string& path)
{
	if (!path.ends_with(kLargeName)) return;
	if (g_change == file_change::cut_short)
		EXPECT_EQ(truncate(path.c_str(), kLargeFile / 2), 0);
	else
		EXPECT_TRUE(std::ofstream(path, std::ios::app | std::ios::binary) << "more");
}

// A file that changes while it is digested (a disc or disk failing under the scan, a
// program still writing it) yields no digest: the scan goes on and counts it damaged,
// so a repair puts it back. A mapped file cut short would end the process with SIGBUS
// where its pages are gone.
TEST_F(ScanTest, AFileThatChangesWhileDigestedCountsAsDamaged)
{
	for (const file_change c : {file_change::cut_short, file_change::grown}) {
		SCOPED_TRACE(static_cast<int>(c));
		sim_info.clear();
		ASSERT_TRUE(kx_test::write_file(on_disk("kept.txt"), "kept"));
		ASSERT_TRUE(kx_test::write_file(on_disk(kLargeName), ""));
		ASSERT_EQ(truncate(on_disk(kLargeName).c_str(), kLargeFile), 0);  // zeros, without using the disk
		sim_info.push_back({version_of(std::string("All/") + kLargeName, "wanted")});
		sim_info.push_back({version_of("All/kept.txt", md5_of("kept"))});
		g_change = c;
		const digest_opened_fn old = calc_file_md5_set_opened_hook(change_large_file);
		scan_to_end();
		calc_file_md5_set_opened_hook(old);
		EXPECT_EQ(sim_info[0].back().sig_have, "NONE");
		EXPECT_EQ(sim_info[0].back().have, 0);
		EXPECT_EQ(sim_info[1].back().have, 1);
	}
}

TEST_F(ScanTest, SocketWhereAFileBelongsIsNotOpened)
{
	ASSERT_EQ(mkdir(dest_dir_path.c_str(), 0755), 0);
	const std::string p = on_disk("sock");
	int fd = socket(AF_UNIX, SOCK_STREAM, 0);
	ASSERT_GE(fd, 0);
	sockaddr_un addr{};
	addr.sun_family = AF_UNIX;
	ASSERT_LT(p.size(), sizeof addr.sun_path);
	p.copy(addr.sun_path, p.size());
	ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
	sim_info.push_back({version_of("All/sock", md5_of(""))});
	scan_to_end();
	close(fd);
	EXPECT_NE(sim_info[0].back().sig_have, "NONE");
	EXPECT_EQ(sim_info[0].back().have, 0);
}

TEST_F(ScanTest, FilterDecidesWhichFilesAreDigested)
{
	ASSERT_TRUE(kx_test::write_file(on_disk("a"), "a"));
	ASSERT_TRUE(kx_test::write_file(on_disk("Global Scenery/+40-080.dsf"), "t"));
	sim_info.push_back({version_of("All/a", md5_of("a"))});
	file_version_struct tile = version_of("All/Global Scenery/+40-080.dsf", md5_of("t"));
	tile.is_global = 1;
	sim_info.push_back({tile});
	set_install_filter(0, 1);
	scan_to_end();
	EXPECT_TRUE(sim_info[0].back().sig_have.empty());
	EXPECT_EQ(sim_info[1].back().have, 1);
}

TEST_F(ScanTest, EmptyListOnAnExistingFolderLogsStartAndEnd)
{
	ASSERT_EQ(mkdir(dest_dir_path.c_str(), 0755), 0);
	const std::string log = env.path("log.txt");
	xer.open(log);
	int cursor = 0;
	float progress = -1.0f;
	const int r = checksum_directory(cursor, progress);
	xer.close();
	EXPECT_EQ(r, 1);
	EXPECT_EQ(progress, 0.0f);
	EXPECT_EQ(checksum_workers, nullptr);
	const std::string text = kx_test::read_file(log);
	const size_t start = text.find(" Start of MD5 at ");
	const size_t end = text.find(" End of MD5 at ");
	ASSERT_NE(start, std::string::npos);
	ASSERT_NE(end, std::string::npos);
	EXPECT_LT(start, end);
	EXPECT_EQ(text.back(), '\n');
}

TEST_F(ScanTest, FirstStepHandsOutTasksUpToThePoolLimit)
{
	ASSERT_EQ(mkdir(dest_dir_path.c_str(), 0755), 0);
	const int limit_files = checksum_tasks_per_processor * UTL_count_processors() * checksum_files_per_task;
	const int n = limit_files + 25;
	for (int i = 0; i < n; ++i) sim_info.push_back({version_of("All/f" + std::to_string(i), "x")});
	int cursor = 0;
	float progress = 0;
	EXPECT_EQ(checksum_directory(cursor, progress), 0);
	EXPECT_EQ(cursor, limit_files);
	EXPECT_FLOAT_EQ(progress, float(limit_files) / float(n));
	EXPECT_NE(checksum_workers, nullptr);
	checksum_directory_kill();
	EXPECT_EQ(checksum_workers, nullptr);
	checksum_directory_kill();  // nothing runs: does nothing
}

}  // namespace
