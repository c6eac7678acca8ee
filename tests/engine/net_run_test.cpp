// The network install run against loopback update servers, reached as named hosts
// through the proxy setting, with the frame clock driven by the test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/engine.h"
#include "engine/install.h"
#include "engine/utils_net.h"
#include "engine_test_util.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_product.h"
#include "runtime/http.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "runtime/xtim.h"
#include "support/builder_run.h"
#include "support/archive_tools.h"
#include "support/loopback_http.h"
#include "support/master_tree.h"
#include "support/test_env.h"

namespace {

using kx_engine_test::md5_of;
using kx_test::HttpReply;

const char* const kProduct = "Kestrix 9.10r1";
const char* const kServers[2] = {"srv0.example", "srv1.example"};

int g_url_calls = 0;
std::string g_url;
int recording_url(std::string url)
{
	++g_url_calls;
	g_url = url;
	return 0;
}

class NetRunTest : public kx_engine_test::EngineTest {
protected:
	NetRunTest() : log(env.path("log.txt"))
	{
		http.proxy_host = "127.0.0.1";
		http.proxy_port_int = server.port();
		xtim.elapsed = 1000.0f;
		get_OS_abs_path(4, temp_path);
		dest_dir_path = env.path("inst/");
		::mkdir(dest_dir_path.c_str(), 0755);
		for (int i = 0; i < 2; ++i) {
			server_name[i] = kServers[i];
			server_path[i] = std::string("/updates/") + kProduct + "/";
		}
		stg.server_count = 2;
		stg.server_index = 0;
		stg.log_actions = 1;
		std::srand(12345);
	}
	~NetRunTest() override
	{
		for (int s = 0; s < http_slot_count; ++s) http.cancel(s);
		http.proxy_host.clear();
		http.proxy_port_int = 0;
		temp_path.clear();
		next = next_struct{};
		app_done = 0;
	}

	// The wizard's start values of a run.
	void start_run()
	{
		next = next_struct{};
		next.stream_active[0] = next.stream_active[1] = 1;
		next.needs_file[0] = next.needs_file[1] = 1;
		next.start_time = xtim.elapsed;
		stg.extract_failed = 0;
	}

	// Steps the run once per frame, the frame clock moving `dt` seconds a frame, until it
	// ends; gives its last result, or 0 when sixty seconds of real time were not enough.
	template <class EachFrame>
	int run(float dt, EachFrame each)
	{
		const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
		for (;;) {
			const int r = grab_files();
			each();
			if (r != 0 || std::chrono::steady_clock::now() > until) return r;
			xtim.elapsed += dt;
			std::this_thread::sleep_for(std::chrono::microseconds(300));
		}
	}
	int run(float dt = 0.02f) { return run(dt, [] {}); }

	// A file to install, served by both servers as a zip made by Info-ZIP.
	file_version_struct& serve_file(const std::string& path, const std::string& content)
	{
		const std::string leaf = path.substr(path.rfind('/') + 1);
		const std::string work = env.path("work/");
		kx_test::remove_tree(work);
		kx_test::write_file(work + leaf, content);
		const std::string zip = env.path("tree/") + kProduct + "/" + path + ".zip";
		kx_test::write_file(zip, "");
		::unlink(zip.c_str());
		EXPECT_EQ(kx_test::run_sh("cd " + kx_test::sh_quote(work) + " && zip -q -X " + kx_test::sh_quote(zip) + " " +
		                          kx_test::sh_quote(leaf)),
		          0);
		for (const char* s : kServers) server.serve_folder(s, "/updates/", env.path("tree/"));
		file_version_struct v = kx_engine_test::version_of(path, md5_of(content));
		v.zip_kb = float(content.size()) * 0.001f;
		v.size_kb = v.zip_kb;
		v.install = 1;
		v.sig_have = "NONE";
		sim_info.push_back({v});
		return sim_info.back().back();
	}

	int active_streams() const
	{
		int n = 0;
		for (int a : next.stream_active) n += a;
		return n;
	}

	kx_test::LogCapture log;
	kx_test::LoopbackHttp server;
};

// Builds a release into `masters` and serves it from both servers.
std::string build_and_serve(const std::string& master, const std::string& masters, const std::string& tree,
                            int version, const std::string& old_list)
{
	return kx_test::build_update_release(master, masters, tree, kProduct, version, old_list);
}

TEST_F(NetRunTest, ReleaseOneBecomesReleaseTwoFromTwoServers)
{
	const std::string master = env.path("master/"), masters = env.path("masters/"), tree = env.path("tree/");
	::mkdir(master.c_str(), 0755);
	const kx_test::MasterTreeOptions o{.seed = 23, .bulk_files = 24, .max_file_bytes = 60000, .tile_count = 3,
	                                   .tile_bytes = 60000, .tile_names = {}};
	kx_test::MasterTree t = kx_test::make_master_tree(master, o);
	// A file alone in its folder, which the next release drops.
	kx_test::write_file(master + "All/Resources/lonely/only.txt", "soon gone\n");
	t.shipped.push_back("All/Resources/lonely/only.txt");
	for (const char* s : kServers) server.serve_folder(s, "/updates/", tree);

	// Release 1 from server 1, into an empty folder; release 2 from server 0.
	auto fetch_and_run = [&](int server_index, bool all_tiles) {
		sim_info.clear();
		const std::string list_dir = env.path("list/");
		kx_test::remove_tree(list_dir);
		::mkdir(list_dir.c_str(), 0755);
		EXPECT_EQ(zip_to_file(tree + kProduct + "/directory.txt.zip", list_dir, nullptr, 0), 0);
		ASSERT_EQ(read_directory(list_dir + "directory.txt", ""), 3);
		int cursor = 0;
		float progress = 0;
		while (checksum_directory(cursor, progress) == 0) {
		}
		if (all_tiles)
			scenery_take_all();
		else
			scenery_from_install();
		recalc_disk_sizes();
		ASSERT_EQ(choose_files(), 1);
		ASSERT_EQ(make_dirs(), 0);
		stg.server_index = server_index;
		start_run();
		ASSERT_EQ(run(), 1);
		EXPECT_EQ(next.done, 1);
		EXPECT_EQ(stg.extract_failed, 0);
	};
	auto check = [&] {
		int checked = 0;
		for (const file_history_struct& h : sim_info) {
			const file_version_struct& w = h.back();
			std::string rel = w.path;
			trim_dest_folder(rel);
			const std::string p = dest_dir_path + rel;
			if (w.sig == "GONE" || !(w.platform == 0 || w.platform == 3 || w.platform == 6)) {
				EXPECT_FALSE(kx_test::path_exists(p)) << p;
				continue;
			}
			std::string digest;
			ASSERT_EQ(calc_file_md5(p, digest), 0) << p;
			EXPECT_EQ(digest, w.sig) << p;
			++checked;
		}
		EXPECT_GT(checked, 20);
	};

	ASSERT_EQ(build_and_serve(master, masters, tree, 90001, ""), "");
	fetch_and_run(1, true);
	check();
	EXPECT_GT(server.count(kServers[1]), 20u);
	EXPECT_EQ(server.count(kServers[0]), 0u);
	EXPECT_TRUE(kx_test::path_exists(dest_dir_path + "Resources/lonely/only.txt"));

	const std::string old_list = env.path("gen1.txt");
	kx_test::write_file(old_list, kx_test::read_file(env.path("list/directory.txt")));
	const kx_test::Generation g = kx_test::next_generation(t, 7, 3, 2, 2);
	::unlink((master + "All/Resources/lonely/only.txt").c_str());
	::rmdir((master + "All/Resources/lonely").c_str());
	ASSERT_EQ(build_and_serve(master, masters, tree, 91001, old_list), "");
	const size_t before = server.count(kServers[0]);
	fetch_and_run(0, false);
	check();
	// Only what changed came over the network.
	size_t ours = 0;
	for (const auto* list : {&g.changed, &g.added})
		for (const std::string& p : *list) ours += p.rfind("All/", 0) == 0 || p.rfind("Linux/", 0) == 0;
	EXPECT_GT(ours, 0u);
	EXPECT_EQ(server.count(kServers[0]) - before, ours);
	EXPECT_FALSE(kx_test::path_exists(dest_dir_path + "Resources/lonely/"));
	const std::string text = log.text();
	EXPECT_NE(text.find("now we want to nuke a file: DELETING  file " + dest_dir_path +
	                    "Resources/lonely/only.txt, with result=0.\n"),
	          std::string::npos);
	EXPECT_NE(text.find("cleanup: DELETING  file " + dest_dir_path + "Resources/lonely/, with result=0.\n"),
	          std::string::npos);
	EXPECT_NE(text.find("EXPANDING file " + dest_dir_path), std::string::npos);
	EXPECT_NE(text.find("CHMODING  file " + dest_dir_path), std::string::npos);
	for (const std::string& p : g.removed) {
		std::string rel = p;
		trim_dest_folder(rel);
		EXPECT_FALSE(kx_test::path_exists(dest_dir_path + rel)) << p;
	}
}

TEST_F(NetRunTest, A404OnServerZeroSwitchesServersAndTheRunFinishes)
{
	for (int i = 0; i < 6; ++i) serve_file("All/Resources/f" + std::to_string(i) + ".txt", "content " + std::to_string(i));
	HttpReply missing;
	missing.status = 404;
	missing.reason = "Not Found";
	server.route(kServers[0], std::string("/updates/") + kProduct + "/All/Resources/f3.txt.zip", missing);
	start_run();
	ASSERT_EQ(run(0.05f), 1);
	for (int i = 0; i < 6; ++i)
		EXPECT_EQ(kx_test::read_file(dest_dir_path + "Resources/f" + std::to_string(i) + ".txt"),
		          "content " + std::to_string(i));
	EXPECT_GE(server.count(kServers[1]), 1u);
	EXPECT_EQ(stg.server_index, 1) << "the last failure moved to server 1, and nothing failed there";
	EXPECT_NE(log.text().find("HTTP Error for "), std::string::npos);
}

TEST_F(NetRunTest, FastLoopbackTurnsOnAllFourStreamsAndAManualCountKeepsOne)
{
	for (int i = 0; i < 24; ++i)
		serve_file("All/Data/file" + std::to_string(i) + ".dat", kx_test::random_bytes(40000, unsigned(i)));
	start_run();
	int most = 0;
	ASSERT_EQ(run(0.01f, [&] { most = std::max(most, active_streams()); }), 1);
	EXPECT_EQ(most, 4);
	for (int i = 0; i < 24; ++i) EXPECT_EQ(sim_info[size_t(i)].back().have, 1);

	// Again with one stream asked for: the first stream to finish a file stops.
	for (file_history_struct& h : sim_info) h.back().have = 0;
	kx_test::remove_tree(dest_dir_path + "Data/");
	stg.stream_count = 1;
	start_run();
	bool third = false;
	ASSERT_EQ(run(0.01f, [&] { third = third || next.stream_active[2] || next.stream_active[3]; }), 1);
	EXPECT_FALSE(third);
	EXPECT_EQ(active_streams(), 1);
	for (int i = 0; i < 24; ++i)
		EXPECT_TRUE(kx_test::path_exists(dest_dir_path + "Data/file" + std::to_string(i) + ".dat")) << i;
}

TEST_F(NetRunTest, TheCurrentDownloadsShareIsShownWhileItArrives)
{
	serve_file("All/Data/slow.dat", kx_test::random_bytes(120000, 3));
	HttpReply slow;
	slow.file = env.path("tree/") + kProduct + "/All/Data/slow.dat.zip";
	slow.throttle_bps = 400000;
	slow.chunk = 4096;
	server.route(kServers[0], std::string("/updates/") + kProduct + "/All/Data/slow.dat.zip", slow);
	start_run();
	float most_in_flight = 0.0f;
	bool partial = false;
	ASSERT_EQ(run(0.01f, [&] {
		most_in_flight = std::max(most_in_flight, next.kb_in_flight);
		partial = partial || (stg.file_state == 1 && stg.file_fraction > 0.0f && stg.file_fraction < 1.0f);
	}), 1);
	EXPECT_TRUE(partial);
	EXPECT_GT(most_in_flight, 0.0f);
	EXPECT_LE(most_in_flight, sim_info[0].back().zip_kb);
	EXPECT_FLOAT_EQ(next.kb_downloaded, sim_info[0].back().zip_kb);
	EXPECT_EQ(crnt_file_name, "slow.dat.zip");
	EXPECT_EQ(crnt_file_path, std::string("/updates/") + kProduct + "/All/Data/slow.dat.zip");
}

TEST(NetRunRules, StreamTableAndFailoverCurve)
{
	EXPECT_EQ(ENG_stream_target(200.5f, 0), 9);
	EXPECT_EQ(ENG_stream_target(200.0f, 0), 8);
	EXPECT_EQ(ENG_stream_target(150.0f, 0), 6);
	EXPECT_EQ(ENG_stream_target(100.0f, 0), 4);
	EXPECT_EQ(ENG_stream_target(60.0f, 0), 4);
	EXPECT_EQ(ENG_stream_target(50.0f, 0), 2);
	EXPECT_EQ(ENG_stream_target(0.0f, 0), 2);
	EXPECT_EQ(ENG_stream_target(500.0f, 1), 1);

	const float two31 = 2147483648.0f;
	EXPECT_EQ(ENG_failover_server(0, 2), 0);
	EXPECT_EQ(ENG_failover_server(int(0.62f * two31), 2), 0);  // 0.62^1.5 < 0.5
	EXPECT_EQ(ENG_failover_server(int(0.64f * two31), 2), 1);
	EXPECT_EQ(ENG_failover_server(2147483647, 2), 1);
	EXPECT_EQ(ENG_failover_server(2147483647, 10), 9);
	EXPECT_EQ(ENG_failover_server(2147483647, 1), 0);
	// No server: index 0, never -1.
	EXPECT_EQ(ENG_failover_server(12345678, 0), 0);
	EXPECT_EQ(ENG_failover_server(0, 0), 0);
}

TEST_F(NetRunTest, AnEmptyListEndsAtOnceAndFinishedFilesGrowTheStreams)
{
	start_run();
	EXPECT_EQ(grab_files(), 1);
	EXPECT_EQ(next.done, 1);

	// Files with nothing to do finish at once; at 60 KB/s two active streams grow.
	for (int i = 0; i < 4; ++i) sim_info.push_back({kx_engine_test::version_of("All/x" + std::to_string(i), "0")});
	start_run();
	next.kb_downloaded = 60.0f;
	next.start_time = xtim.elapsed - 1.0f;
	EXPECT_EQ(grab_files(), 0);
	EXPECT_EQ(next.stream_active[2], 1);
	EXPECT_EQ(stg.file_state, 3);
	EXPECT_EQ(grab_files(), 1);
}

TEST_F(NetRunTest, AnArchiveThatDoesNotUnzipKeepsTheOldFileAndEndsTheRun)
{
	kx_test::AlertRecorder rec;
	serve_file("All/Resources/keep.txt", "new content");
	kx_test::write_file(env.path("tree/") + kProduct + "/All/Resources/keep.txt.zip", "this is not a zip archive");
	kx_test::write_file(dest_dir_path + "Resources/keep.txt", "old content");
	start_run();
	ASSERT_EQ(run(), 1);
	EXPECT_EQ(stg.extract_failed, 1);
	EXPECT_EQ(next.done, 0);
	EXPECT_EQ(kx_test::read_file(dest_dir_path + "Resources/keep.txt"), "old content");
	EXPECT_FALSE(kx_test::path_exists(temp_path + "0.zip"));
	EXPECT_EQ(sim_info[0].back().have, 0);
	const auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, t_alert);
	EXPECT_EQ(a[0].line1, "The installer cannot extract a file.");
	EXPECT_EQ(a[0].line3, "Compressed File: " + temp_path + "0.zip");
	EXPECT_EQ(a[0].line4, "Destination: " + dest_dir_path + "Resources/keep.txt");
	// Nothing of the failed unpack is left beside the file.
	EXPECT_EQ(kx_test::tree_listing(dest_dir_path + "Resources/").size(), 1u);
}

// A folder of the copy moved away with a link left in its place: nothing is written
// through the link, and the alert names the folder instead of the bare error code.
TEST_F(NetRunTest, AFolderOfTheCopyThatIsALinkIsNamedAndNotWrittenThrough)
{
	kx_test::AlertRecorder rec;
	serve_file("All/Resources/keep.txt", "new content");
	const std::string elsewhere = env.path("other disk/");
	::mkdir(elsewhere.c_str(), 0755);
	ASSERT_EQ(::symlink(elsewhere.c_str(), (dest_dir_path + "Resources").c_str()), 0);
	start_run();
	ASSERT_EQ(run(), 1);
	EXPECT_EQ(stg.extract_failed, 1);
	EXPECT_TRUE(kx_test::tree_listing(elsewhere).empty());
	const auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line2, "The folder " + dest_dir_path +
	                          "Resources is a link to another place. The installer writes only into real folders; "
	                          "put the real folder in its place and try again.");
}

TEST_F(NetRunTest, WithoutATemporaryFolderNothingIsDownloaded)
{
	kx_test::AlertRecorder rec;
	serve_file("All/Resources/a.txt", "new content");
	temp_path.clear();
	// A bare name would land in the working folder.
	const std::string here = env.path("here/");
	::mkdir(here.c_str(), 0755);
	start_run();
	{
		kx_test::ScopedWorkingFolder cwd(here);
		EXPECT_EQ(run(), 1);
	}
	EXPECT_EQ(stg.extract_failed, 1);
	EXPECT_TRUE(kx_test::tree_listing(here).empty());
	EXPECT_FALSE(kx_test::path_exists(dest_dir_path + "Resources/a.txt"));
	EXPECT_TRUE(server.requests().empty());
	const auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line2, "Error: No such file or directory");
}

// A path of the file list holding an escape sequence reaches the log spelled out when
// an alert that names it is logged: each line of the alert stays one line of the log.
TEST_F(NetRunTest, AListPathInALoggedAlertIsSpelledOut)
{
	const std::string list = env.path("directory.txt");
	kx_test::write_file(list, kx_engine_test::file_list("DIR All/Resources/\n" +
	                                                    kx_engine_test::file_line(0, md5_of("x"), "a\x1b[2Jfile")));
	ASSERT_EQ(read_directory(list, ""), 3);
	ASSERT_EQ(sim_info.size(), 1u);
	sim_info[0].back().install = 1;
	temp_path.clear();
	const std::string here = env.path("here/");
	::mkdir(here.c_str(), 0755);
	start_run();
	{
		kx_test::ScopedWorkingFolder cwd(here);  // where the alert's memory report goes
		EXPECT_EQ(run(), 1);
	}
	const std::string text = log.text();
	EXPECT_NE(text.find("\nThe installer cannot extract a file.\nError: No such file or directory\n"
	                    "Compressed File: 0.zip\nDestination: " +
	                    dest_dir_path + "Resources/a\\x1b[2Jfile\n(utils line "),
	          std::string::npos)
	    << text;
	EXPECT_EQ(kx_test::log_breakout(text, "[2J"), "");
}

TEST_F(NetRunTest, AServerFailingEverythingIsAskedAtMostOncePerStreamPerSecond)
{
	for (int i = 0; i < 4; ++i) serve_file("All/Resources/f" + std::to_string(i) + ".txt", "x");
	HttpReply busy;
	busy.status = 503;
	busy.reason = "Service Unavailable";
	for (const char* s : kServers) server.route(s, "/updates/*", busy);
	start_run();
	const float seconds = 5.0f, dt = 0.05f;
	int frames = 0;
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
	while (frames < int(seconds / dt) && std::chrono::steady_clock::now() < until) {
		ASSERT_EQ(grab_files(), 0);
		// Give each request time to be answered within its frame.
		for (int k = 0; k < 20; ++k) std::this_thread::sleep_for(std::chrono::microseconds(250));
		xtim.elapsed += dt;
		++frames;
	}
	const size_t asked = server.count(kServers[0]) + server.count(kServers[1]);
	EXPECT_GE(asked, 4u);
	EXPECT_LE(asked, size_t(2 * (seconds / net_retry_delay + 1)));
	EXPECT_EQ(stg.download_failed, 1);
}

TEST_F(NetRunTest, DeletionsNeverGoThroughALink)
{
	const std::string outside = env.path("outside/");
	kx_test::write_file(outside + "victim.txt", "not ours");
	::mkdir((dest_dir_path + "Resources").c_str(), 0755);
	ASSERT_EQ(::symlink(outside.c_str(), (dest_dir_path + "Resources/linked").c_str()), 0);
	file_version_struct v = kx_engine_test::version_of("All/Resources/linked/victim.txt", "GONE");
	v.remove = 1;
	sim_info.push_back({v});
	start_run();
	net_failed_deletes = 0;
	EXPECT_EQ(run(), 1);
	EXPECT_EQ(kx_test::read_file(outside + "victim.txt"), "not ours");
	// The file was not removed: the done screen hears of it.
	EXPECT_EQ(net_failed_deletes, 1);
	net_failed_deletes = 0;
	EXPECT_NE(log.text().find("now we want to nuke a file: DELETING  file " + dest_dir_path +
	                          "Resources/linked/victim.txt, with result=" + std::to_string(ELOOP)),
	          std::string::npos);
}

TEST_F(NetRunTest, NewFormatTellsOpensTheDownloadPageAndEnds)
{
	kx_test::AlertRecorder rec;
	g_url_calls = 0;
	ENG_url_fn old = ENG_set_go_to_URL_hook(recording_url);
	new_format(temp_path + "serverlist9.txt");
	ENG_set_go_to_URL_hook(old);
	const auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, t_alert);
	EXPECT_EQ(a[0].line1,
	          "OK I am checking the Corvane Labs servers and I am finding file formats that are newer than I can "
	          "understand!");
	EXPECT_EQ(a[0].line2, "In other words, you need to get a new installer!");
	EXPECT_EQ(a[0].line4, temp_path + "serverlist9.txt");
	EXPECT_EQ(g_url_calls, 1);
	EXPECT_EQ(g_url, maker_download_page);
	EXPECT_EQ(stg.format_state, 2);
	EXPECT_EQ(app_done, 1);
}

// With no browser to hand an address to, it is printed for the user, spelled out as the
// log spells it: an address from a server cannot steer the terminal.
TEST(GoToUrl, WithoutABrowserTheAddressIsPrintedSpelledOut)
{
	const ENG_url_fn old = ENG_set_go_to_URL_hook(nullptr);
	testing::internal::CaptureStderr();
	EXPECT_EQ(ENG_go_to_URL("http://srv0.example/\x1b]0;owned\x07"), 0);
	const std::string err = testing::internal::GetCapturedStderr();
	ENG_set_go_to_URL_hook(old);
	EXPECT_EQ(err, "Please open this address in your web browser: http://srv0.example/\\x1b]0;owned\\x07\n");
}

}  // namespace
