// The size block of the web families' space checks, read from the screen trace as a
// driver outside sees it: the volume's size, its free space and the space the install
// needs, then the verdict's sentence, both with room enough and with too little.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "flow_fixture.h"
#include "runtime/io_utils.h"
#include "wizard/main_map.h"

namespace {

using namespace kx_flow_test;

constexpr char kDiskSize[] = "Disk size: ";
constexpr char kFreeSpace[] = "Free disk space: ";
constexpr char kNeeded[] = "Disk space needed to install: ";
constexpr size_t kBlockLines = 5;  // three sizes, a blank line, the sentence
constexpr unsigned long long kBytesPerKb = 1000;
// The block's units over KB of 1000 bytes.
constexpr double kKbPerGb = 1048576, kKbPerMb = 1024;
// Other programs write to the volume meanwhile: the free space shown may be this share
// of the volume away from the free space measured after it.
constexpr double kFreeDrift = 0.05;
// More than any volume here holds, in KB.
constexpr float kMoreThanTheDisk = 1e12f;

// A size as the block shows it ("4.8 GB", "1000 MB", "1024 KB"), back in KB.
double shown_kb(const std::string& size)
{
	double value = 0;
	char unit[3] = {};
	if (std::sscanf(size.c_str(), "%lf %2s", &value, unit) != 2) return -1;
	const std::string u = unit;
	return u == "GB" ? value * kKbPerGb : u == "MB" ? value * kKbPerMb : u == "KB" ? value : -1;
}

class SizeBlock : public FlowTest {
protected:
	void small_tree(unsigned seed)
	{
		const kx_test::MasterTreeOptions o{.seed = seed, .bulk_files = 12, .max_file_bytes = 20000, .tile_count = 1,
		                                   .tile_bytes = 20000, .tile_names = {}};
		tree = kx_test::make_master_tree(master, o);
		build_and_serve(90001, "");
	}
	// Runs frames until the block `screen` showed last ends with `sentence`.
	bool block_says(const std::string& screen, const std::string& sentence)
	{
		return frames_until([&] {
			const std::vector<std::string> b = size_block_of(screen);
			return b.size() == kBlockLines && b.back() == sentence;
		});
	}
	// The block `screen` showed last: the size and free space of the volume that holds
	// dest_dir_path, what stg says the install needs, and `sentence`.
	void expect_block(const std::string& screen, const std::string& sentence)
	{
		const std::vector<std::string> b = size_block_of(screen);
		ASSERT_EQ(b.size(), kBlockLines) << ::testing::PrintToString(b);
		unsigned long long total = 0, free_bytes = 0;
		ASSERT_EQ(get_free_space(dest_dir_path, &total, &free_bytes), 0);
		EXPECT_EQ(b[0], kDiskSize + size_string(float(total / kBytesPerKb)));
		ASSERT_EQ(b[1].rfind(kFreeSpace, 0), 0u) << b[1];
		EXPECT_NEAR(shown_kb(b[1].substr(sizeof kFreeSpace - 1)), double(free_bytes / kBytesPerKb),
		            double(total / kBytesPerKb) * kFreeDrift)
		    << b[1];
		EXPECT_EQ(b[2], kNeeded + size_string(stg.kb_to_install) + ".");
		EXPECT_EQ(b[3], "");
		EXPECT_EQ(b[4], sentence);
	}
};

TEST_F(SizeBlock, TheDemoDestinationShowsTheDiskItsFreeSpaceAndWhatTheDemoNeeds)
{
	if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
	const std::string enough = "You have enough free disk space to install the Kestrix9  demo at this location.";
	const std::string short_space =
	    "You do not have enough free disk space to install the Kestrix 9 demo at this location.  You can install to a "
	    "different location, or save disk space by installing only some of the global scenery.";
	small_tree(51);
	serve_both_servers();
	demo_to_the_destination();
	ASSERT_TRUE(block_says("demo_pick_dest", enough));
	EXPECT_GT(stg.kb_to_install, 0.0f);
	expect_block("demo_pick_dest", enough);

	stg.kb_to_install = kMoreThanTheDisk;
	ASSERT_TRUE(block_says("demo_pick_dest", short_space));
	expect_block("demo_pick_dest", short_space);
	// As on the DVD install's destination screen, the user may still go on.
	EXPECT_EQ(last_of("demo_pick_dest").field("next"), "demo_run_patch");
}

TEST_F(SizeBlock, TheUpdatesDiskCheckShowsTheDiskItsFreeSpaceAndWhatTheUpdateNeeds)
{
	if (!world->ok()) GTEST_SKIP() << "no headless OpenGL: " << world->why();
	small_tree(53);
	read_served_list(env.path("list/"));
	// A copy of the release that lost one file: the update brings it back.
	const std::string copy = env.path("copy/");
	copy_of_release(copy);
	const auto lost = std::find_if(sim_info.begin(), sim_info.end(), [](const file_history_struct& h) {
		return h.back().sig != "GONE" && kx_web_test::installed_here(h.back().platform);
	});
	ASSERT_NE(lost, sim_info.end());
	std::string rel = lost->back().path;
	trim_dest_folder(rel);
	ASSERT_EQ(::unlink((copy + rel).c_str()), 0);
	serve_both_servers();

	start_updater(copy);
	ASSERT_TRUE(continue_from(net_start));
	ASSERT_TRUE(block_says("net_check_disk", "You have enough free disk space to update Kestrix 9"));
	EXPECT_GT(stg.kb_to_install, 0.0f);
	expect_block("net_check_disk", "You have enough free disk space to update Kestrix 9");
	EXPECT_EQ(last_of("net_check_disk").field("next"), "net_run_patch");

	stg.kb_to_install = kMoreThanTheDisk;
	ASSERT_TRUE(block_says("net_check_disk", "You do not have enough free disk space to update Kestrix 9."));
	expect_block("net_check_disk", "You do not have enough free disk space to update Kestrix 9.");
	const trace_line check = last_of("net_check_disk");
	EXPECT_EQ(check.field("next"), "null");
	EXPECT_EQ(check.field("text"),
	          "There is a newer version of Kestrix 9 available, but you do not have enough free disk space to download "
	          "and install the update.\n\nPlease free some space on your hard drive.");
}

}  // namespace
