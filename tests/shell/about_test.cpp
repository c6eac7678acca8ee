// The about box's logic, without a window, against the maker's web host played by the
// loopback server through the proxy setting.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "runtime/hl_alert.h"
#include "runtime/hl_product.h"
#include "runtime/http.h"
#include "runtime/io_utils.h"
#include "runtime/translate.h"
#include "shell/hl_mnw_about.h"
#include "support/archive_tools.h"
#include "support/child_watch.h"
#include "support/loopback_http.h"
#include "support/test_env.h"

namespace {

using kx_test::HttpReply;

struct Launched {};
[[noreturn]] void throwing_launch_exit(int) { throw Launched{}; }
int g_finishups = 0;
void counting_finishup(int) { ++g_finishups; }

std::string server_list(const std::string& body, int version = 820)
{
	return "I\n" + std::to_string(version) + " version\nSERVERS\n\n" + body;
}

class AboutTest : public ::testing::Test {
protected:
	AboutTest()
	{
		http.proxy_host = "127.0.0.1";
		http.proxy_port_int = server.port();
		st.folder = env.path("app/Resources/preferences/");
		::mkdir(env.path("app/").c_str(), 0755);
		::mkdir(env.path("app/Resources/").c_str(), 0755);
		::mkdir(st.folder.c_str(), 0755);
		st.list_file = env.path("serverlist9.txt");
	}
	~AboutTest() override
	{
		for (int s = 0; s < http_slot_count; ++s) http.cancel(s);
		http.proxy_host.clear();
		http.proxy_port_int = 0;
	}
	void publish(const std::string& body)
	{
		HttpReply r;
		r.body = server_list(body);
		server.route(maker_web_host, "/serverlist9.txt", r);
	}
	// A newer beta whose installer download is not a zip archive; the box follows betas.
	void publish_a_beta_that_is_no_zip()
	{
		publish("BETA_VERSION 9.20b1\nBETA_INSTALLER_MAC /beta.zip\n");
		HttpReply junk;
		junk.body = "this is no zip archive";
		server.route(maker_web_host, "/beta.zip", junk);
		st.beta = 1;
	}
	// Frames of the box until its phase is `until`, pressing the update button when it
	// is offered; at most twenty seconds.
	void frames_until(int until, std::vector<std::string>* messages = nullptr)
	{
		const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		while (st.phase != until && std::chrono::steady_clock::now() < deadline) {
			about_step(st, st.phase == about_offer);
			if (messages && (messages->empty() || messages->back() != st.message)) messages->push_back(st.message);
			std::this_thread::sleep_for(std::chrono::microseconds(300));
		}
	}

	kx_test::TempEnv env;
	kx_test::LoopbackHttp server;
	about_state st;
};

TEST(AboutRules, VersionsCompareByNumbersThenLetters)
{
	EXPECT_EQ(about_running_version(), "9.10r1");
	EXPECT_EQ(about_compare_versions("9.10r1", "9.10r1"), 0);
	EXPECT_EQ(about_compare_versions("9.9r1", "9.10r1"), -1);
	EXPECT_EQ(about_compare_versions("9.11r1", "9.10r1"), 1);
	EXPECT_EQ(about_compare_versions("9.10b2", "9.10r1"), -1);
	EXPECT_EQ(about_compare_versions("9.10r2", "9.10r1"), 1);
	EXPECT_EQ(about_compare_versions("10.00r1", "9.99r9"), 1);
	EXPECT_EQ(about_compare_versions("9.10", "9.10r1"), -1);
	EXPECT_EQ(about_progress_text(42), "Downloading the installer...42% complete");
}

TEST(AboutRules, TheServerListsHeaderAndKeywords)
{
	kx_test::TempEnv env;
	const std::string p = env.path("list.txt");
	about_release_info info;
	kx_test::write_file(p, server_list("FINAL Kestrix 9.10r1\n\tFINAL_VERSION\t9.11r1\nBETA_VERSION 9.12b1\n"
	                                   "FINAL_INSTALLER_MAC /get/installer.zip\nFINALX nothing\nENDOFLIST\n"
	                                   "BETA_INSTALLER_MAC /after/end.zip\n"));
	ASSERT_EQ(about_read_server_list(p, &info), 1);
	EXPECT_EQ(info.final_folder, "Kestrix 9.10r1");
	EXPECT_EQ(info.final_version, "9.11r1");
	EXPECT_EQ(info.beta_version, "9.12b1");
	EXPECT_EQ(info.final_installer, "/get/installer.zip");
	EXPECT_EQ(info.beta_installer, "");
	kx_test::write_file(p, server_list("FINAL_VERSION 9.11r1\n", 900));
	EXPECT_EQ(about_read_server_list(p, &info), 0);
	kx_test::write_file(p, "I\n820 version\nINSTALLER\n\nFINAL_VERSION 9.11r1\n");
	EXPECT_EQ(about_read_server_list(p, &info), 0);
	EXPECT_EQ(about_read_server_list(env.path("missing.txt"), &info), 0);
}

TEST_F(AboutTest, EqualVersionsAreUpToDate)
{
	publish("FINAL_VERSION 9.10r1\nBETA_VERSION 9.10r1\nFINAL_INSTALLER_MAC /i.zip\n");
	about_begin(st);
	frames_until(about_done);
	EXPECT_EQ(st.message, "Your version of Kestrix is up to date.");
	EXPECT_TRUE(st.button.empty());

	st.beta = 1;
	about_begin(st);
	frames_until(about_done);
	EXPECT_EQ(st.message, "You have the latest Kestrix beta.");
	EXPECT_EQ(server.count(maker_web_host, "/serverlist9.txt"), 2u);
}

TEST_F(AboutTest, ANewerReleaseIsDownloadedUnzippedAndStarted)
{
	publish("FINAL_VERSION 9.11r1\nFINAL_INSTALLER_MAC /downloads/installer.zip\n");
	// The new installer: a script that leaves a marker beside itself, zipped by Python.
	const std::string script = "#!/bin/sh\necho started > \"$(dirname \"$0\")/marker\"\n";
	ASSERT_EQ(kx_test::make_py_zip(env.path("work/"), env.path("installer.zip"),
	                               {{"Kestrix Installer", script, 0100755ul << 16}}),
	          0);
	HttpReply zip;
	zip.body = kx_test::read_file(env.path("installer.zip"));
	zip.chunk = 40;
	zip.pause_ms = 20;
	server.route(maker_web_host, "/downloads/installer.zip", zip);

	finishup_fn old_finishup = DIDIVI_set_finishup(counting_finishup);
	launch_exit_fn old_exit = launch_app_set_exit(throwing_launch_exit);
	g_finishups = 0;
	about_begin(st);
	frames_until(about_offer);
	EXPECT_EQ(st.button, "Update Kestrix!");
	std::vector<std::string> messages;
	kx_test::ChildWatch started;
	EXPECT_THROW(frames_until(about_done, &messages), Launched);
	DIDIVI_set_finishup(old_finishup);
	launch_app_set_exit(old_exit);

	EXPECT_EQ(g_finishups, 1);
	bool progress = false;
	for (const std::string& m : messages)
		progress = progress || (m.rfind("Downloading the installer...", 0) == 0 && m.find("% complete") != std::string::npos);
	EXPECT_TRUE(progress);
	EXPECT_TRUE(started.wait_new());
	EXPECT_EQ(kx_test::read_file(st.folder + "marker"), "started\n");
}

TEST_F(AboutTest, ARefusingHostMeansNoNet)
{
	{
		kx_test::LoopbackHttp gone;
		http.proxy_port_int = gone.port();
	}
	about_begin(st);
	frames_until(about_done);
	EXPECT_EQ(st.message, "Can't connect to the net to find latest version.");
}

// Without the private temporary folder the list has nowhere to go: fetched under its bare
// name, it would replace a file of that name in the working folder (the user's downloads).
TEST_F(AboutTest, WithoutATemporaryFolderNothingIsFetched)
{
	publish("FINAL_VERSION 9.11r1\nFINAL_INSTALLER_MAC /i.zip\n");
	const std::string here = env.path("here/");
	kx_test::write_file(here + "serverlist9.txt", "the user's");
	kx_test::ScopedEnvVar tmpdir("TMPDIR", env.path("gone").c_str());
	st.list_file.clear();
	{
		kx_test::ScopedWorkingFolder cwd(here);
		about_begin(st);
		frames_until(about_done);
	}
	EXPECT_EQ(st.message, "Can't connect to the net to find latest version.");
	EXPECT_EQ(kx_test::read_file(here + "serverlist9.txt"), "the user's");
	EXPECT_EQ(server.count(maker_web_host, "/serverlist9.txt"), 0u);
}

TEST_F(AboutTest, APayloadThatIsNotAZipIsReported)
{
	publish_a_beta_that_is_no_zip();
	about_begin(st);
	frames_until(about_offer);
	EXPECT_EQ(st.button, " Get New Beta! ");
	frames_until(about_done);
	EXPECT_EQ(st.message,
	          "There was an error unzipping the installer: We were unable to open a zip file. It may be missing or "
	          "damaged (20001)");
}

TEST_F(AboutTest, TranslatedTextsAreFilledInNeverReadAsFormats)
{
	// printf would read and write through stray arguments at these marks.
	has_translation = 1;
	dictionary["Downloading the installer...%d%% complete"] = "%s%s%n %d%%";
	dictionary["There was an error unzipping the installer: %s (%d)"] = "%n%x%p: %s (%d)";
	EXPECT_EQ(about_progress_text(42), "%s%s%n 42%");
	publish_a_beta_that_is_no_zip();
	about_begin(st);
	frames_until(about_done);
	UTL_translate_clear();
	EXPECT_EQ(st.message,
	          "%n%x%p: We were unable to open a zip file. It may be missing or damaged (20001)");
}

TEST_F(AboutTest, AMissingInstallerCannotBeDownloaded)
{
	publish("FINAL_VERSION 9.11r1\nFINAL_INSTALLER_MAC /nowhere.zip\n");
	about_begin(st);
	frames_until(about_done);
	EXPECT_EQ(st.message, "I was unable to download the installer from the net.");
	// An entry without its leading "/" never reaches the downloader's quitting alert.
	publish("FINAL_VERSION 9.11r1\nFINAL_INSTALLER_MAC nowhere.zip\n");
	about_begin(st);
	frames_until(about_done);
	EXPECT_EQ(st.message, "I was unable to download the installer from the net.");
}

}  // namespace
