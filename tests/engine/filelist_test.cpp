#include <gtest/gtest.h>

#include <vector>

#include "engine_test_util.h"
#include "support/archive_tools.h"
#include "support/hostile_paths.h"

using namespace kx_engine_test;

namespace {

const std::string sig_a = "0123456789abcdef0123456789abcdef";
const std::string sig_b = "fedcba9876543210fedcba9876543210";

class FileListTest : public EngineTest {
protected:
	// Writes the list and reads it; a quitting alert comes back as kx_test::AlertExit.
	int read(const std::string& text)
	{
		const std::string p = env.path("directory.txt");
		kx_test::write_file(p, text);
		return read_directory(p, "Scanning directory text file to see if you already have Kestrix installed...");
	}
	// Reads a list that must end in a quitting alert; returns that alert.
	kx_test::RecordedAlert read_fatal(const std::string& text)
	{
		kx_test::AlertRecorder rec;
		EXPECT_THROW(read(text), kx_test::AlertExit);
		auto alerts = rec.alerts();
		EXPECT_EQ(alerts.size(), 1u);
		if (alerts.empty()) return {};
		EXPECT_EQ(alerts[0].type, t_exit);
		return alerts[0];
	}
};

TEST_F(FileListTest, AcceptsVersions840And900Only)
{
	const std::string body = "DIR All/Resources/\n" + file_line(0, sig_a, "a.txt");
	EXPECT_EQ(read(file_list(body, 900)), 3);
	EXPECT_EQ(sim_info.size(), 1u);
	EXPECT_EQ(read(file_list(body, 840)), 3);
	EXPECT_EQ(sim_info.size(), 1u);
	EXPECT_EQ(read(file_list(body, 910)), 2);
	EXPECT_TRUE(sim_info.empty());
	EXPECT_EQ(read("I\n900 version\nDVD\n\n" + body), 2);
	EXPECT_EQ(read(""), 2);
}

TEST_F(FileListTest, BadHeaderKeepsTheGridAndPresenceWordsOfThePreviousRead)
{
	ASSERT_EQ(read(file_list("DIR All/Custom Scenery/Global Scenery/\n" + file_line(0, sig_a, "+40-080.dsf"))), 3);
	const int tile = stg_tile(13, 10);
	ASSERT_EQ(stg.scenery_available[tile], 1);
	stg.kb_to_install = 99.0f;
	EXPECT_EQ(read(file_list("", 899)), 2);
	EXPECT_TRUE(sim_info.empty());
	EXPECT_EQ(stg.scenery_available[tile], 1);
	EXPECT_EQ(stg.has_scenery, 1);
	EXPECT_EQ(stg.has_sim_files, 0);
	EXPECT_EQ(stg.kb_to_install, 0.0f);  // the totals are reset before the header is read
}

TEST_F(FileListTest, ReadsDirDiskAndFileLines)
{
	deleted_files.insert("leftover/");
	stg.kb_to_download = 5;
	stg.files_to_delete = 7;
	const std::string body = "DIR All/Resources/\n" + file_line(0, sig_a, "a file with blanks.txt", 12, 34, 900) +
	                         "  DISK\t2  trailing words\n" + "DIR\tLinux/bin/  \n" +
	                         "FILE 0 3 91001 5 6 " + sig_b + "   tool\r\n" + "DISK 0\n" +
	                         file_line(0, sig_a, "x.dat");
	ASSERT_EQ(read(file_list(body)), 3);
	EXPECT_TRUE(deleted_files.empty());
	EXPECT_EQ(stg.kb_to_download, 0.0f);
	EXPECT_EQ(stg.files_to_delete, 0);
	ASSERT_EQ(sim_info.size(), 3u);

	const file_version_struct& a = sim_info[0].back();
	EXPECT_EQ(a.path, "All/Resources/a file with blanks.txt");
	EXPECT_EQ(a.platform, 0);
	EXPECT_EQ(a.version, 900);
	EXPECT_EQ(a.zip_kb, 12.0f);
	EXPECT_EQ(a.size_kb, 34.0f);
	EXPECT_EQ(a.sig, sig_a);
	EXPECT_EQ(a.disk, 0);
	EXPECT_TRUE(a.sig_have.empty());
	EXPECT_EQ(a.have + a.install + a.remove + a.is_global, 0);
	EXPECT_EQ(a.progress_at, 0.0f);

	// The DIR prefix keeps its trailing blanks; the name is the rest after the blanks.
	const file_version_struct& t = sim_info[1].back();
	EXPECT_EQ(t.path, "Linux/bin/  tool");
	EXPECT_EQ(t.platform, 3);
	EXPECT_EQ(t.disk, 2);
	EXPECT_EQ(sim_info[2].back().path, "Linux/bin/  x.dat");
	EXPECT_EQ(sim_info[2].back().disk, 0);
	EXPECT_EQ(stg.has_sim_files, 1);
	EXPECT_EQ(stg.has_scenery, 0);
}

TEST_F(FileListTest, HistoriesJoinConsecutiveLinesOfOnePath)
{
	const std::string body = "DIR All/\n" + file_line(0, sig_a, "f", 1, 1, 800) + "DIR All/\n" +
	                         file_line(0, sig_b, "f", 1, 1, 900) + file_line(0, sig_a, "g") +
	                         file_line(0, sig_a, "f", 1, 1, 91001) + file_line(0, "GONE", "f", 0, 0) +
	                         "DIR\n" + file_line(0, sig_a, "h");
	ASSERT_EQ(read(file_list(body)), 3);
	ASSERT_EQ(sim_info.size(), 4u);
	ASSERT_EQ(sim_info[0].size(), 2u);  // a repeated DIR line does not end a history
	EXPECT_EQ(sim_info[0][0].version, 800);
	EXPECT_EQ(sim_info[0].back().sig, sig_b);
	EXPECT_EQ(sim_info[1].back().path, "All/g");
	ASSERT_EQ(sim_info[2].size(), 2u);  // the same path after another one starts anew
	EXPECT_EQ(sim_info[2].back().sig, "GONE");
	EXPECT_EQ(sim_info[2].back().size_kb, 0.0f);
	EXPECT_EQ(sim_info[3].back().path, "All/h");  // "DIR" alone is skipped
}

TEST_F(FileListTest, PlatformIsClampedAndUnknownLinesSkipped)
{
	const std::string body = "DIR All/\n# comment\nfile 0 0 1 1 1 " + sig_a + " lower\nFILE\n\n\n" +
	                         file_line(9, sig_a, "nine") + file_line(-1, sig_a, "minus");
	ASSERT_EQ(read(file_list(body)), 3);
	ASSERT_EQ(sim_info.size(), 2u);
	EXPECT_EQ(sim_info[0].back().platform, 6);
	EXPECT_EQ(sim_info[1].back().platform, 0);
}

TEST_F(FileListTest, ScenerySetsAvailableTilesFromWantedVersions)
{
	stg.scenery_available[stg_tile(0, 0)] = 1;  // stale from an earlier list
	const std::string body = "DIR All/Custom Scenery/Global Scenery/-global terrain-/+40-080/\n" +
	                         file_line(0, sig_a, "+40-080.dsf") + file_line(0, sig_a, "+45-071.DSF") +
	                         file_line(0, sig_a, "-95+000.dsf") + file_line(0, sig_a, "+95-080.dsf") +
	                         file_line(0, sig_a, "+30+010.dsf") + file_line(0, "GONE", "+30+010.dsf") +
	                         file_line(0, sig_a, "+40-080.dsf.bak");
	ASSERT_EQ(read(file_list(body)), 3);
	ASSERT_EQ(sim_info.size(), 6u);
	const file_version_struct& t = sim_info[0].back();
	EXPECT_EQ(t.is_global, 1);
	EXPECT_EQ(t.lat_band, 13);
	EXPECT_EQ(t.lon_band, 10);
	EXPECT_EQ(sim_info[1].back().is_global, 1);
	EXPECT_EQ(sim_info[2].back().is_global, 1);
	EXPECT_EQ(sim_info[2].back().lat_band, 0);
	EXPECT_EQ(sim_info[3].back().is_global, 0);  // latitude band 18 is off the grid
	EXPECT_EQ(sim_info[5].back().is_global, 0);

	EXPECT_EQ(stg.scenery_available[stg_tile(0, 0)], 0);
	EXPECT_EQ(stg.scenery_available[stg_tile(13, 10)], 1);
	EXPECT_EQ(stg.scenery_available[stg_tile(0, 18)], 1);
	// A removed tile still marks its tile: the wanted version is the GONE one, also a tile.
	EXPECT_EQ(stg.scenery_available[stg_tile(12, 19)], 1);
	int count = 0;
	for (int w = 0; w < stg_tile_count; ++w) count += stg.scenery_available[w];
	EXPECT_EQ(count, 3);
	EXPECT_EQ(stg.has_scenery, 1);
	EXPECT_EQ(stg.has_sim_files, 1);
}

TEST_F(FileListTest, MissingFileIsAQuittingAlert)
{
	kx_test::AlertRecorder rec;
	const std::string p = env.path("nowhere/directory.txt");
	EXPECT_THROW(read_directory(p, ""), kx_test::AlertExit);
	auto alerts = rec.alerts();
	ASSERT_EQ(alerts.size(), 1u);
	EXPECT_EQ(alerts[0].line1, "I tried to read a directory file that does not exist!");
	EXPECT_EQ(alerts[0].line2, "The file is:");
	EXPECT_EQ(alerts[0].line3, p);
	EXPECT_EQ(alerts[0].line4, "");
	EXPECT_EQ(alerts[0].type, t_exit);
	EXPECT_EQ(alerts[0].file, "utils");
	EXPECT_EQ(alerts[0].line, 778);
}

TEST_F(FileListTest, PathWithoutFileIsAQuittingAlert)
{
	// A name in UTF-8 is shown in the font's letters.
	auto a = read_fatal(file_list("DIR All/Resources/\n" + file_line(0, sig_a, "pl\xC3\xBCgins \xC3\xA9/")));
	EXPECT_EQ(a.line1, "I am reading the directory text file and found a path that has no file!");
	EXPECT_EQ(a.line2, "This is impossible to download or delete!");
	EXPECT_EQ(a.line3, "It is:");
	EXPECT_EQ(a.line4, "All/Resources/pl?gins \xE9/");
	EXPECT_EQ(a.line, 826);
	EXPECT_TRUE(sim_info.empty());
	// A FILE line without a name is the folder alone.
	const std::string no_name = "FILE 0 0 91001 1 2 " + sig_a;
	for (const std::string& line : {no_name + "\n", no_name + " \t\n", no_name}) {
		SCOPED_TRACE(line);
		a = read_fatal(file_list("DIR All/x/\n" + line));
		EXPECT_EQ(a.line1, "I am reading the directory text file and found a path that has no file!");
		EXPECT_EQ(a.line4, "All/x/");
	}
	// An escape byte is drawn spelled out, a backslash as it is: the two draw alike, so
	// the log, which escapes the drawn line once more, first gets the spelled path exactly.
	const std::string logged = "The directory text file holds: All/x/a\\x1b[2J/\n";
	for (const auto& [name, holds] : {std::pair<std::string, bool>{"a\x1b[2J/", true}, {"a\\x1b[2J/", false}}) {
		SCOPED_TRACE(name);
		kx_test::LogCapture log(env.path("log.txt"));
		a = read_fatal(file_list("DIR All/x/\n" + file_line(0, sig_a, name)));
		EXPECT_EQ(a.line4, "All/x/a\\x1b[2J/");
		EXPECT_EQ(log.text().find(logged) != std::string::npos, holds) << log.text();
	}
}

TEST_F(FileListTest, PathsLeavingTheInstallFolderAreRefused)
{
	for (const std::string& bad : {std::string("DIR /etc/\n") + file_line(0, sig_a, "passwd"),
	                               "DIR All/../../\n" + file_line(0, sig_a, "x"),
	                               "DIR All/\n" + file_line(0, sig_a, "a/../../x"),
	                               "DIR All/\n" + file_line(0, sig_a, ".."),
	                               "DIR ../\n" + file_line(0, sig_a, "x"),
	                               "DIR All\\..\\\n" + file_line(0, sig_a, "x")}) {
		SCOPED_TRACE(bad);
		auto a = read_fatal(file_list("DIR All/\n" + file_line(0, sig_a, "fine") + bad));
		EXPECT_EQ(a.line1, "I am reading the directory text file and found a path outside the install folder!");
		EXPECT_EQ(a.line3, "It is:");
		EXPECT_TRUE(sim_info.empty());
	}
	// Dots inside a name are ordinary characters.
	ASSERT_EQ(read(file_list("DIR All/..x/\n" + file_line(0, sig_a, "a..b"))), 3);
	EXPECT_EQ(sim_info[0].back().path, "All/..x/a..b");
}

TEST_F(FileListTest, TheOnePathRuleHoldsForTheList)
{
	for (const kx_test::path_case& c : kx_test::hostile_paths()) {
		// An empty name or a folder is a path without a file; a NUL byte ends the line.
		if (c.path.empty() || c.path.back() == '/' || c.path.find('\0') != std::string::npos) continue;
		SCOPED_TRACE(c.path);
		const std::string list = file_list("DIR All/\n" + file_line(0, sig_a, c.path));
		if (c.stays_inside) {
			EXPECT_EQ(read(list), 3);
		} else {
			auto a = read_fatal(list);
			EXPECT_EQ(a.line1, "I am reading the directory text file and found a path outside the install folder!");
		}
	}
}

TEST_F(FileListTest, ADigestIsHexDigitsOrGone)
{
	ASSERT_EQ(read(file_list("DIR All/\n" + file_line(0, sig_a, "x") + file_line(0, "GONE", "x"))), 3);
	for (const std::string& bad : std::vector<std::string>{"../outside/x", "0123456789ABCDEF0123456789ABCDEF",
	                               sig_a.substr(1), sig_a + "0", "NONE", "gone",
	                               "0123456789abcdef/123456789abcdef", "0123456789abcdeg0123456789abcdef"}) {
		SCOPED_TRACE(bad);
		auto a = read_fatal(file_list("DIR All/\n" + file_line(0, bad, "x")));
		EXPECT_EQ(a.line1, "I am reading the directory text file and found a line that is damaged!");
		EXPECT_TRUE(sim_info.empty());
	}
}

TEST_F(FileListTest, DamagedNumbersAndMissingFieldsAreRefused)
{
	const std::string s = " " + sig_a;
	// The highest DVD number a list may name: one more is a damaged line.
	constexpr int kLastDisk = 999;
	static const char nul_sig[] = "FILE 0 0 91001 1 2 \0 x\n";
	for (const std::string& bad : std::vector<std::string>{"FILE 0 0 91001 1\n",
	      "FILE 0 0 91001 1 2", "FILE 0 0 9x001 1 2" + s + " x\n", "FILE 0 0 91001 99999999999 2" + s + " x\n",
	      "FILE 0 0 2147483648 1 2" + s + " x\n", "FILE 0 0 91001 -1 2" + s + " x\n", "FILE 0 - 91001 1 2" + s + " x\n",
	      std::string(nul_sig, sizeof nul_sig - 1), "DISK two\n", "DISK -1\n", "DISK 4294967296\n",
	      "DISK \n", "DISK " + std::to_string(kLastDisk + 1) + "\n", "DISK 2147483647\n"}) {
		SCOPED_TRACE(bad);
		auto a = read_fatal(file_list("DIR All/\n" + bad + file_line(0, sig_a, "after")));
		EXPECT_EQ(a.line1, "I am reading the directory text file and found a line that is damaged!");
		EXPECT_EQ(a.line2, "This is impossible to download or delete!");
		EXPECT_TRUE(sim_info.empty());
	}
	// The most negative version still fits, and so does the highest DVD number.
	ASSERT_EQ(read(file_list("DIR All/\nFILE 0 0 -2147483648 1 2" + s + " x\n")), 3);
	EXPECT_EQ(sim_info[0].back().version, -2147483648);
	kx_test::AlertRecorder rec;
	EXPECT_NO_THROW(read(file_list("DIR All/\nDISK " + std::to_string(kLastDisk) + "\n" + file_line(0, sig_a, "x"))));
	ASSERT_TRUE(rec.alerts().empty()) << rec.alerts()[0].line4;
	EXPECT_EQ(sim_info[0].back().disk, kLastDisk);
}

TEST_F(FileListTest, AReturningAlertLeavesNoHalfList)
{
	// With alerts only logged the reader still must not hand back part of a bad list.
	alert_presenter_fn old = DIDIVI_set_alert_presenter(
	    [](int, const std::string&, const std::string&, const std::string&, const std::string&, int, const char*,
	       int) {});
	const int r = read(file_list("DIR All/\n" + file_line(0, sig_a, "ok") + "DIR /abs/\n" + file_line(0, sig_a, "x")));
	DIDIVI_set_alert_presenter(old);
	EXPECT_EQ(r, 2);
	EXPECT_TRUE(sim_info.empty());
}

TEST(GlobalScenery, ClassifierNeedsFolderAndExtension)
{
	EXPECT_TRUE(is_global_scenery_f("All/Custom Scenery/Global Scenery/+40-080/+40-080.dsf"));
	EXPECT_TRUE(is_global_scenery_f("All/x/Global Scenery/+40-080.DsF"));
	EXPECT_TRUE(is_global_scenery_f("All/Resources/-global overlays-/+40-080.dsf"));
	EXPECT_TRUE(is_global_scenery_f("All/Resources/-global terrain-/+40-080.dsf"));
	EXPECT_TRUE(is_global_scenery_f("All/Resources/default scenery/DSF 820 Earth/+40-080.dsf"));
	EXPECT_FALSE(is_global_scenery_f("All/Custom Scenery/Global Scenery/+40-080.dsf.bak"));
	EXPECT_FALSE(is_global_scenery_f("All/Custom Scenery/global scenery/+40-080.dsf"));
	EXPECT_FALSE(is_global_scenery_f("All/Custom Scenery/+40-080.dsf"));
	EXPECT_FALSE(is_global_scenery_f("-global terrain-/+40-080.dsf"));  // needs the "/" in front
	EXPECT_FALSE(is_global_scenery_f(""));
	EXPECT_FALSE(is_global_scenery_f(nullptr));
}

TEST(GlobalScenery, FindSectorBands)
{
	int lon = -7, lat = -7;
	EXPECT_TRUE(find_sector(&lon, &lat, "All/Global Scenery/+40-080.dsf"));
	EXPECT_EQ(lat, 13);
	EXPECT_EQ(lon, 10);
	EXPECT_TRUE(find_sector(&lon, &lat, "-90+170.dsf"));
	EXPECT_EQ(lat, 0);
	EXPECT_EQ(lon, 35);
	EXPECT_TRUE(find_sector(&lon, &lat, "x/-05-180.dsf"));
	EXPECT_EQ(lat, 8);
	EXPECT_EQ(lon, 0);
	EXPECT_TRUE(find_sector(&lon, &lat, "x/-95+000.dsf"));  // truncation toward zero
	EXPECT_EQ(lat, 0);
	EXPECT_EQ(lon, 18);
	EXPECT_TRUE(find_sector(&lon, &lat, "x/abc+000.dsf"));  // rejected text counts as -1
	EXPECT_EQ(lat, 8);
	EXPECT_FALSE(find_sector(&lon, &lat, "x/+95-080.dsf"));
	EXPECT_EQ(lat, 18);  // both bands stay written
	EXPECT_EQ(lon, 10);
	EXPECT_FALSE(find_sector(&lon, &lat, "x/+40+180.dsf"));
	EXPECT_EQ(lon, 36);
	// A trailing "/" is not taken as the separator.
	EXPECT_TRUE(find_sector(&lon, &lat, "x/+10+010/"));
	EXPECT_EQ(lat, 10);
	EXPECT_EQ(lon, 19);
	// Short names do not read past their end: the missing longitude reads as -1.
	EXPECT_TRUE(find_sector(&lon, &lat, "x/+1"));
	EXPECT_EQ(lat, 9);
	EXPECT_EQ(lon, 17);
	EXPECT_TRUE(find_sector(&lon, &lat, ""));
	EXPECT_EQ(lat, 8);
}

}  // namespace
