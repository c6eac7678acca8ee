// The update-server list and the file-list download, against the loopback server
// reached as the maker's host and the update servers through the proxy setting.
#include "web_fixture.h"

namespace {

using namespace kx_web_test;

class WebDirTest : public WebTest {
protected:
	int read_list(const std::string& text)
	{
		const std::string p = env.path("list.txt");
		kx_test::write_file(p, text);
		return UTL_read_server_list(p);
	}
};

TEST_F(WebDirTest, FolderNameByBetaSwitchAndPathPrefixes)
{
	const std::string body = "BETA Kestrix 9.20b1\nFINAL " + std::string(kProduct) + "\n" +
	                         server_entry("srv1.example", "/k9/", "Mirror one|Fast{x") +
	                         server_entry("srv2.example", "/mirror/k/", "Mirror two");
	stg.get_beta = 0;
	ASSERT_EQ(read_list(server_list(body)), 1);
	EXPECT_EQ(install_name, kProduct);
	ASSERT_EQ(stg.server_count, 2);
	EXPECT_EQ(server_name[0], "srv1.example");
	EXPECT_EQ(server_path[0], std::string("/k9/") + kProduct + "/");
	EXPECT_EQ(server_path[1], std::string("/mirror/k/") + kProduct + "/");
	EXPECT_EQ(server_desc[0], "Mirror one|Fast{x");

	stg.get_beta = 1;
	ASSERT_EQ(read_list(server_list(body)), 1);
	EXPECT_EQ(install_name, "Kestrix 9.20b1");
	EXPECT_EQ(server_path[1], "/mirror/k/Kestrix 9.20b1/");

	// Beta wanted, no beta line: the name stays as it was.
	install_name = "before";
	ASSERT_EQ(read_list(server_list("FINAL F\n" + server_entry("s.example", "/p/", "d"))), 1);
	EXPECT_EQ(install_name, "before");
}

TEST_F(WebDirTest, TenServersAtMostEndOfListAndKeywordsWholeWords)
{
	std::string body = "FINAL F\r\n";
	for (int i = 0; i < 12; ++i)
		body += server_entry("s" + std::to_string(i) + ".example", "/p/", "d" + std::to_string(i));
	ASSERT_EQ(read_list(server_list(body)), 1);
	ASSERT_EQ(stg.server_count, 10);
	EXPECT_EQ(server_name[9], "s9.example");
	EXPECT_EQ(server_desc[9], "d9");

	// "SERVERx" is another word; what follows ENDOFLIST is not read; CR line ends read the same.
	body = "\tFINAL F\r" + server_entry("one.example", "/p/", "first") + "SERVERx two.example\r/p/\rd\r" +
	       "ENDOFLIST\r" + server_entry("three.example", "/p/", "third");
	ASSERT_EQ(read_list(server_list(body)), 1);
	ASSERT_EQ(stg.server_count, 1);
	EXPECT_EQ(server_name[0], "one.example");
	EXPECT_EQ(server_desc[0], "first");

	// Another version, another word, or no file at all: not read, nothing changed.
	stg.server_count = -1;
	EXPECT_EQ(read_list(server_list(body, 900)), 0);
	EXPECT_EQ(read_list("I\n820 version\nSERVER\n"), 0);
	EXPECT_EQ(read_list(""), 0);
	EXPECT_EQ(UTL_read_server_list(env.path("none.txt")), 0);
	EXPECT_EQ(stg.server_count, -1);
}

TEST_F(WebDirTest, UnusableEntriesAreSkippedWithWarnings)
{
	const std::string body = "FINAL F\n" + server_entry("", "/p/", "no host") +
	                         server_entry("slash.example/", "/p/", "slash") +
	                         server_entry(std::string("ctl\x01.example"), "/p/", "control") +
	                         server_entry("nopath.example", "p/", "relative path") +
	                         server_entry("good.example", "/p/", "good") + "FINAL ../up\n";
	ASSERT_EQ(read_list(server_list(body)), 1);
	ASSERT_EQ(stg.server_count, 1);
	EXPECT_EQ(server_name[0], "good.example");
	EXPECT_EQ(server_desc[0], "good");
	EXPECT_EQ(install_name, "F");
	const std::string text = log.text();
	size_t warnings = 0;
	for (size_t at = text.find("WARNING: "); at != std::string::npos; at = text.find("WARNING: ", at + 1)) ++warnings;
	EXPECT_EQ(warnings, 5u) << text;
	EXPECT_NE(text.find("slash.example/"), std::string::npos);
	EXPECT_NE(text.find("ctl\\x01.example\n"), std::string::npos) << text;
	EXPECT_NE(text.find("../up"), std::string::npos);
}

TEST_F(WebDirTest, ListThenFileListThroughTheProxyStates0To1To3)
{
	serve_list(server_list("FINAL " + std::string(kProduct) + "\n" + server_entry("srv1.example", "/k9/", "one") +
	                       server_entry("srv2.example", "/k9/", "two") +
	                       server_entry("srv3.example", "/k9/", "three")));
	for (const char* h : {"srv1.example", "srv2.example", "srv3.example"})
		serve_dir(h, std::string("/k9/") + kProduct + "/directory.txt.zip", good_list());
	std::srand(4321);
	const int expect_index = ENG_failover_server(std::rand(), 3);
	std::srand(4321);

	ASSERT_TRUE(step_until([] { return stg.server_count != -1; }));
	EXPECT_EQ(stg.server_count, 3);
	EXPECT_EQ(stg.server_index, expect_index);
	EXPECT_EQ(stg.dir_state, 0);
	EXPECT_TRUE(kx_test::path_exists(temp_path + "serverlist9.txt"));

	ASSERT_TRUE(step_until([] { return stg.dir_state != 0; }));
	EXPECT_EQ(stg.dir_state, 1);
	EXPECT_TRUE(kx_test::path_exists(temp_path + "directory.txt"));
	EXPECT_FALSE(kx_test::path_exists(temp_path + "directory.txt.zip"));
	UTL_download_directory();
	EXPECT_EQ(stg.dir_state, 3);
	EXPECT_EQ(sim_info.size(), 1u);
	UTL_download_directory();
	EXPECT_EQ(stg.dir_state, 3);

	// Every request went through the proxy, naming the host.
	const auto reqs = server.requests();
	ASSERT_EQ(reqs.size(), 2u);
	for (const auto& r : reqs) EXPECT_TRUE(r.proxy_form) << r.raw;
	EXPECT_EQ(reqs[0].host, maker_web_host);
	EXPECT_EQ(reqs[0].path, "/serverlist9.txt");
	EXPECT_EQ(reqs[1].host, std::string("srv") + std::to_string(expect_index + 1) + ".example");
	EXPECT_EQ(alerts.alerts().size(), 0u);
}

TEST_F(WebDirTest, WithoutATemporaryFolderNothingIsFetched)
{
	serve_list(server_list("FINAL " + std::string(kProduct) + "\n" + server_entry("srv1.example", "/k9/", "one")));
	kx_test::ScopedEnvVar tmpdir("TMPDIR", env.path("gone").c_str());
	temp_path.clear();
	EXPECT_THROW(UTL_download_directory(), kx_test::AlertExit);
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].type, t_exit);
	EXPECT_EQ(alerts.alerts()[0].line3.rfind("Temporary Folder: " + env.path("gone/kestrix-installer-"), 0), 0u);
	EXPECT_EQ(stg.server_count, -1);
	EXPECT_TRUE(server.requests().empty());
}

TEST_F(WebDirTest, ANewerListFormatAsksForANewInstaller)
{
	serve_list(server_list(server_entry("srv1.example", "/k9/", "one"), 900));
	ASSERT_TRUE(step_until([] { return app_done != 0; }));
	EXPECT_EQ(g_url_calls, 1);
	EXPECT_EQ(g_url, maker_download_page);
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(stg.format_state, 2);
	EXPECT_EQ(server.count("srv1.example"), 0u);
}

TEST_F(WebDirTest, NoUsableServerIsABadList)
{
	// Names the downloader would refuse at every try are not servers either: a port, a
	// blank (trailing ones too), an underscore.
	const char* const refused[] = {"127.0.0.1:18080", "one.example  ", "under_score.example"};
	std::string entries = server_entry("", "/k9/", "none");
	for (const char* host : refused) entries += server_entry(host, "/k9/", "refused");
	serve_list(server_list("FINAL F\n" + entries + "ENDOFLIST\n"));
	ASSERT_TRUE(step_until([] { return stg.server_count != -1; }));
	EXPECT_EQ(stg.server_count, 0);
	const std::string text = log.text();
	for (const char* host : refused) {
		const std::string line = std::string("WARNING: skipping an update server whose name the downloader refuses (not "
		                                     "a plain host name): ") + host + "\n";
		EXPECT_NE(text.find(line), std::string::npos) << text;
	}
	EXPECT_EQ(stg.server_index, 0);
	EXPECT_EQ(stg.dir_state, 2);
	for (int i = 0; i < 5; ++i) UTL_download_directory();
	EXPECT_EQ(stg.dir_state, 2);
	EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(WebDirTest, FailedFetchesWaitASecondAndOneServerKeepsIndexZero)
{
	// The maker's host refuses first: one request per second at most, however many frames.
	server.route(maker_web_host, web_server_list_path, reply("", 404));
	for (int i = 0; i < 40; ++i) {
		UTL_download_directory();
		xtim.elapsed += 0.02f;
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	EXPECT_EQ(server.count(maker_web_host), 1u);
	xtim.elapsed += 0.3f;
	serve_list(server_list("FINAL F\n" + server_entry("only.example", "/k9/", "one")));
	ASSERT_TRUE(step_until([] { return stg.server_count != -1; }));
	EXPECT_EQ(server.count(maker_web_host), 2u);

	// The only file-list server fails: it stays the one in use, asked again a second later.
	server.route("only.example", "/k9/F/directory.txt.zip", reply("", 404));
	ASSERT_TRUE(step_until([&] { return server.count("only.example") == 1; }));
	for (int i = 0; i < 40; ++i) {
		UTL_download_directory();
		xtim.elapsed += 0.02f;
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	EXPECT_EQ(server.count("only.example"), 1u);
	EXPECT_EQ(stg.server_index, 0);
	EXPECT_EQ(stg.dir_state, 0);
	xtim.elapsed += 0.5f;
	ASSERT_TRUE(step_until([&] { return server.count("only.example") == 2; }));
	EXPECT_EQ(stg.server_index, 0);
}

TEST_F(WebDirTest, AFailingFileListServerIsLeftForAnother)
{
	serve_list(server_list("FINAL F\n" + server_entry("bad.example", "/k9/", "bad") +
	                       server_entry("good.example", "/k9/", "good")));
	server.route("bad.example", "/k9/F/directory.txt.zip", reply("", 404));
	serve_dir("good.example", "/k9/F/directory.txt.zip", good_list());
	ASSERT_TRUE(step_until([] { return stg.server_count != -1; }));
	stg.server_index = 0;
	std::srand(99);
	ASSERT_TRUE(step_until([] { return stg.dir_state != 0; }, 0.25f));
	EXPECT_EQ(stg.dir_state, 1);
	EXPECT_EQ(stg.server_index, 1);
	EXPECT_GE(server.count("bad.example"), 1u);
	EXPECT_EQ(server.count("good.example"), 1u);
}

TEST_F(WebDirTest, AListThatDoesNotUnzipIsReportedAndFetchedAgain)
{
	serve_list(server_list("FINAL F\n" + server_entry("srv1.example", "/k9/", "one")));
	server.route("srv1.example", "/k9/F/directory.txt.zip", reply("this is not a zip archive"));
	ASSERT_TRUE(step_until([&] { return !alerts.alerts().empty(); }));
	const auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line1, "The installer cannot extract a file.");
	EXPECT_EQ(a[0].line2.rfind("Error: ", 0), 0u);
	EXPECT_EQ(a[0].line3, "Compressed File/" + temp_path + "directory.txt.zip");
	EXPECT_EQ(a[0].line4, "Destination Path/" + temp_path);
	EXPECT_EQ(a[0].type, t_alert);
	EXPECT_EQ(stg.dir_state, 0);
	EXPECT_FALSE(kx_test::path_exists(temp_path + "directory.txt.zip"));
	ASSERT_TRUE(step_until([&] { return server.count("srv1.example") == 2; }));
}

TEST_F(WebDirTest, AListArchiveWithAnotherEntryIsReportedAndNothingIsUnpacked)
{
	// The list and a second file, named like the server list the temporary folder
	// holds: a damaged archive.
	const std::string work = env.path("other/");
	kx_test::write_file(work + "directory.txt", good_list());
	kx_test::write_file(work + web_server_list_file, "not the server list\n");
	ASSERT_EQ(kx_test::run_sh("cd " + kx_test::sh_quote(work) + " && zip -q -X two.zip directory.txt " +
	                          web_server_list_file),
	          0);
	kx_test::HttpReply r;
	r.file = work + "two.zip";
	server.route("srv1.example", "/k9/F/directory.txt.zip", r);
	const std::string servers = server_list("FINAL F\n" + server_entry("srv1.example", "/k9/", "one"));
	serve_list(servers);
	ASSERT_TRUE(step_until([&] { return !alerts.alerts().empty(); }));
	const auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line1, "The installer cannot extract a file.");
	EXPECT_EQ(a[0].line2.rfind("Error: We were unable to open a zip file", 0), 0u) << a[0].line2;
	EXPECT_EQ(stg.dir_state, 0);
	EXPECT_FALSE(kx_test::path_exists(temp_path + "directory.txt"));
	EXPECT_EQ(kx_test::read_file(temp_path + web_server_list_file), servers);
}

TEST_F(WebDirTest, AStaleListIsNeverReadForAnArchiveWithoutOne)
{
	// An earlier run's good list lies in the temporary folder; the server's archive holds
	// no entry at all.
	kx_test::write_file(temp_path + "directory.txt", good_list());
	const std::string work = env.path("other/");
	kx_test::write_file(work + "o.zip", std::string("PK\x05\x06") + std::string(18, '\0'));
	kx_test::HttpReply r;
	r.file = work + "o.zip";
	server.route("srv1.example", "/k9/F/directory.txt.zip", r);
	serve_list(server_list("FINAL F\n" + server_entry("srv1.example", "/k9/", "one")));
	ASSERT_TRUE(step_until([] { return stg.dir_state != 0; }));
	EXPECT_EQ(stg.dir_state, 2);
	EXPECT_FALSE(kx_test::path_exists(temp_path + "directory.txt"));
	EXPECT_TRUE(sim_info.empty());
	EXPECT_TRUE(alerts.alerts().empty());
}

}  // namespace
