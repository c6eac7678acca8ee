#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "engine_test_util.h"
#include "runtime/hl_thread.h"
#include "support/hung_work.h"

using namespace kx_engine_test;

namespace {

class ScanConcurrencyTest : public EngineTest {
protected:
	// n files on disk, every third one edited, every fifth one missing.
	void make_tree(int n)
	{
		dest_dir_path = env.path("inst/");
		for (int i = 0; i < n; ++i) {
			const std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i);
			const std::string body = "file " + std::to_string(i);
			if (i % 5 != 4) {
				ASSERT_TRUE(kx_test::write_file(dest_dir_path + name, i % 3 == 2 ? body + "!" : body));
			}
			sim_info.push_back({version_of("All/" + name, md5_of(body))});
		}
		::mkdir(dest_dir_path.c_str(), 0755);
	}
	void expect_results()
	{
		for (int i = 0; i < int(sim_info.size()); ++i) {
			const file_version_struct& v = sim_info[i].back();
			const std::string body = "file " + std::to_string(i);
			if (i % 5 == 4)
				EXPECT_EQ(v.sig_have, "NONE") << i;
			else
				EXPECT_EQ(v.sig_have, md5_of(i % 3 == 2 ? body + "!" : body)) << i;
			EXPECT_EQ(v.have, (i % 5 != 4 && i % 3 != 2) ? 1 : 0) << i;
		}
	}
};

TEST_F(ScanConcurrencyTest, ScanOfManyFilesGivesEveryResult)
{
	make_tree(1000);
	int cursor = 0;
	float progress = 0;
	float last = 0;
	while (!checksum_directory(cursor, progress)) {
		EXPECT_GE(progress, last);  // progress only grows
		last = progress;
	}
	EXPECT_EQ(cursor, 1000);
	EXPECT_EQ(progress, 1.0f);
	EXPECT_EQ(checksum_workers, nullptr);
	expect_results();
}

TEST_F(ScanConcurrencyTest, KilledScanKeepsHandedOutResultsAndResumesFromTheCursor)
{
	const int handed_out = checksum_tasks_per_processor * UTL_count_processors() * checksum_files_per_task;
	make_tree(handed_out + 95);
	int cursor = 0;
	float progress = 0;
	ASSERT_EQ(checksum_directory(cursor, progress), 0);
	ASSERT_EQ(cursor, handed_out);
	checksum_directory_kill();
	EXPECT_EQ(checksum_workers, nullptr);
	EXPECT_EQ(cursor, handed_out);
	// The tasks already handed out ran to their end; nothing after the cursor was touched.
	for (int i = 0; i < int(sim_info.size()); ++i)
		EXPECT_EQ(sim_info[i].back().sig_have.empty(), i >= handed_out) << i;

	while (!checksum_directory(cursor, progress)) {
	}
	EXPECT_EQ(cursor, int(sim_info.size()));
	expect_results();
}

// A digest that hangs on its disc holds the kill, and the window is served meanwhile.
TEST_F(ScanConcurrencyTest, AKilledScanServesTheWindowWhileADigestHangs)
{
	// More files than one call hands out, so the first call cannot finish the scan.
	make_tree(checksum_tasks_per_processor * UTL_count_processors() * checksum_files_per_task + 95);
	int cursor = 0;
	float progress = 0;
	ASSERT_EQ(checksum_directory(cursor, progress), 0);
	kx_test::HungWork hung;
	checksum_workers->enqueue_task(hung.task());
	checksum_directory_kill();
	EXPECT_EQ(checksum_workers, nullptr);
	EXPECT_GE(hung.served, kx_test::HungWork::kServedBeforeItEnds);
	EXPECT_TRUE(hung.released_in_time);
}

TEST_F(ScanConcurrencyTest, FolderVanishingUnderARunningScanEndsItFirst)
{
	// More files than one call hands out, so the first call cannot finish the scan.
	make_tree(checksum_tasks_per_processor * UTL_count_processors() * checksum_files_per_task + 95);
	int cursor = 0;
	float progress = 0;
	ASSERT_EQ(checksum_directory(cursor, progress), 0);
	const std::string moved = env.path("moved/");
	ASSERT_EQ(::rename(dest_dir_path.c_str(), moved.c_str()), 0);
	EXPECT_EQ(checksum_directory(cursor, progress), 1);
	EXPECT_EQ(checksum_workers, nullptr);
	for (auto& h : sim_info) EXPECT_EQ(h.back().sig_have, "NONE");
}

}  // namespace
