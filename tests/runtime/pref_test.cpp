#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "runtime/cmdline.h"
#include "runtime/hl_globals.h"
#include "runtime/http.h"
#include "runtime/io_safe_path.h"
#include "runtime/pref.h"
#include "support/archive_tools.h"
#include "support/test_env.h"

namespace {

const std::string kHeader = "I\n9002 version\n";

// Every variable file 11 holds, at chosen start values, and the command line emptied.
struct InstallerPrefs {
	InstallerPrefs()
	{
		cmdline = UTL_cmdline();
		stg.stream_count = -5;
		stg.log_actions = -5;
		stg.get_beta = -5;
		mnw.lang = -1;
		http.proxy_host = "start host";
		http.proxy_port = "start port";
		http.proxy_port_int = -5;
	}
	~InstallerPrefs()
	{
		cmdline = UTL_cmdline();
		stg.stream_count = stg.log_actions = stg.get_beta = 0;
		mnw.lang = 0;
		http.proxy_host.clear();
		http.proxy_port.clear();
		http.proxy_port_int = 0;
	}
};

void set_command_line(std::vector<const char*> args)
{
	args.insert(args.begin(), "kestrix-installer");
	cmdline = UTL_cmdline();
	cmdline.init_unix(static_cast<int>(args.size()), args.data());
}

std::string prefs11(const kx_test::TempEnv& env) { return env.path("home/.config/Kestrix Installer.prf"); }

// Whether a temporary name (a save under way or one that was not cleared) is in `folder`.
bool has_temp_name(const std::string& folder)
{
	for (const std::string& l : kx_test::tree_listing(folder))
		if (l.find(kx_temp_mark) != std::string::npos) return true;
	return false;
}

}  // namespace

TEST(Pref, InstallerFileLivesInThePreferencesFolder)
{
	kx_test::TempEnv env;
	EXPECT_EQ(pref_file_path(11), prefs11(env));
	EXPECT_EQ(pref_file_path(10), "Resources/preferences/Res Orvala.prf");
	EXPECT_EQ(pref_file_path(12), "Resources/preferences/Cal Kestrix.prf");
}

TEST(Pref, ReadsEverySettingOfTheInstallerFile)
{
	kx_test::TempEnv env;
	InstallerPrefs vars;
	ASSERT_TRUE(kx_test::write_file(prefs11(env), kHeader +
	                                                  "\n"
	                                                  "_stream_count 3\n"
	                                                  "  _log_actions\t\t1\r\n"
	                                                  "\n"
	                                                  "_proxy_host proxy .example \n"
	                                                  "_proxy_port 8080\n"
	                                                  "_proxy_port_int 8080x\n"
	                                                  "_get_beta 1\n"
	                                                  "_lang 2\n"
	                                                  "_stream_count 4"));
	pref.IO_set(11, 0);
	EXPECT_EQ(stg.stream_count, 4);  // the second line of a key wins
	EXPECT_EQ(stg.log_actions, 1);
	EXPECT_EQ(http.proxy_host, "proxy .example ");  // inner and trailing blanks kept
	EXPECT_EQ(http.proxy_port, "8080");
	EXPECT_EQ(http.proxy_port_int, 8080);
	EXPECT_EQ(stg.get_beta, 1);
	EXPECT_EQ(mnw.lang, 2);
}

TEST(Pref, CommandLineOverridesTheStoredValue)
{
	kx_test::TempEnv env;
	InstallerPrefs vars;
	ASSERT_TRUE(kx_test::write_file(prefs11(env), kHeader + "_lang 2\n_proxy_host stored\n_get_beta 1\n"));
	set_command_line({"--pref:_lang=1", "--pref:_proxy_host", "--pref:_stream_count=7"});
	pref.IO_set(11, 0);
	EXPECT_EQ(mnw.lang, 1);
	EXPECT_EQ(http.proxy_host, "");  // an override without a value still counts
	EXPECT_EQ(stg.stream_count, 7);  // overrides work for keys absent from the file
	EXPECT_EQ(stg.get_beta, 1);
	EXPECT_EQ(http.proxy_port, "start port");  // neither stored nor given: unchanged
	EXPECT_EQ(stg.log_actions, -5);
}

// A file of another version (another release's settings) or of another kind is read as
// no values, and a save keeps it byte for byte: writing start values over it would lose
// the user's proxy. Only an empty file, holding nothing, is written over.
TEST(Pref, MissingFileOrWrongHeaderChangesNothingAndIsKept)
{
	kx_test::TempEnv env;
	InstallerPrefs vars;
	pref.IO_set(11, 0);
	const std::string other_version = "I\n9003 version\n_proxy_host proxy.example\n_proxy_port 3128\n_lang 2\n";
	for (const std::string& body : {other_version, std::string("I\n9001 version\n_lang 2\n"),
	                                 std::string("X\n9002 version\n_lang 2\n"), std::string(""), std::string("I\n")}) {
		ASSERT_TRUE(kx_test::write_file(prefs11(env), body));
		pref.IO_set(11, 0);
		EXPECT_EQ(mnw.lang, -1) << body;
		EXPECT_EQ(http.proxy_host, "start host");
		EXPECT_EQ(stg.stream_count, -5);
		pref.IO_set(11, 1);
		if (body.empty())
			EXPECT_EQ(kx_test::read_file(prefs11(env)).compare(0, kHeader.size(), kHeader), 0);
		else
			EXPECT_EQ(kx_test::read_file(prefs11(env)), body);
		EXPECT_FALSE(has_temp_name(env.path("home/.config/")));
	}
	// Once the file is gone, the settings are saved again.
	ASSERT_EQ(std::remove(prefs11(env).c_str()), 0);
	pref.IO_set(11, 0);
	pref.IO_set(11, 1);
	EXPECT_EQ(kx_test::read_file(prefs11(env)).compare(0, kHeader.size(), kHeader), 0);
}

TEST(Pref, NumbersAreClampedAndOddBytesCannotStallTheReader)
{
	EXPECT_EQ(pref_text_to_int("  -12abc"), -12);
	EXPECT_EQ(pref_text_to_int("+7"), 7);
	EXPECT_EQ(pref_text_to_int("abc"), 0);
	EXPECT_EQ(pref_text_to_int(""), 0);
	EXPECT_EQ(pref_text_to_int("99999999999"), INT_MAX);
	EXPECT_EQ(pref_text_to_int("-99999999999999999999999"), INT_MIN);

	kx_test::TempEnv env;
	InstallerPrefs vars;
	std::string body = kHeader;
	body += std::string("\0\0\r\r", 4);
	body += "_stream_count 99999999999\r";
	body += std::string("\0", 1);
	body += "_get_beta -3";
	body += std::string("\0junk\0", 6);
	body += "_lang\t";
	ASSERT_TRUE(kx_test::write_file(prefs11(env), body));
	pref.IO_set(11, 0);
	EXPECT_EQ(stg.stream_count, INT_MAX);
	EXPECT_EQ(stg.get_beta, -3);
	EXPECT_EQ(mnw.lang, 0);  // a key with no value reads as 0
}

TEST(Pref, WritesTheInstallerFileByteForByte)
{
	kx_test::TempEnv env;
	InstallerPrefs vars;
	ASSERT_TRUE(kx_test::write_file(prefs11(env), kHeader + "_lang 2\n"));
	pref.IO_set(11, 0);
	stg.stream_count = 4;
	stg.log_actions = 1;
	stg.get_beta = 0;
	http.proxy_host = "proxy .example ";
	http.proxy_port = "8080";
	http.proxy_port_int = -8080;
	pref.IO_set(11, 1);
	EXPECT_EQ(kx_test::read_file(prefs11(env)), kHeader +
	                                                "_stream_count 4\n"
	                                                "_log_actions 1\n"
	                                                "_proxy_host proxy .example \n"
	                                                "_proxy_port 8080\n"
	                                                "_proxy_port_int -8080\n"
	                                                "_get_beta 0\n"
	                                                "_lang 2\n");
	EXPECT_FALSE(has_temp_name(env.path("home/.config/")));

	// Empty texts are left out; the port number is always written.
	http.proxy_host.clear();
	http.proxy_port.clear();
	http.proxy_port_int = 0;
	pref.IO_set(11, 1);
	EXPECT_EQ(kx_test::read_file(prefs11(env)), kHeader +
	                                                "_stream_count 4\n"
	                                                "_log_actions 1\n"
	                                                "_proxy_port_int 0\n"
	                                                "_get_beta 0\n"
	                                                "_lang 2\n");

	// What was written reads back the same.
	stg.stream_count = stg.log_actions = 9;
	pref.IO_set(11, 0);
	EXPECT_EQ(stg.stream_count, 4);
	EXPECT_EQ(stg.log_actions, 1);
}

TEST(Pref, WritingCreatesTheMissingPreferencesFolder)
{
	kx_test::TempEnv env;
	InstallerPrefs vars;
	const std::string folder = env.path("fresh/");
	setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
	pref.IO_set(11, 0);
	pref.IO_set(11, 1);
	EXPECT_EQ(kx_test::read_file(folder + "Kestrix Installer.prf").rfind(kHeader + "_stream_count -5\n", 0), 0u);
}

TEST(Pref, WithoutAPreferencesFolderNothingLandsInTheWorkingFolder)
{
	kx_test::TempEnv env;
	InstallerPrefs vars;
	// The preferences folder cannot be made: a file stands where its parent belongs.
	ASSERT_TRUE(kx_test::write_file(env.path("file"), "x"));
	setenv("XDG_CONFIG_HOME", env.path("file/config").c_str(), 1);
	const std::string cwd = env.path("cwd/");
	ASSERT_EQ(mkdir(cwd.c_str(), 0700), 0);
	char old_cwd[4096];
	ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
	ASSERT_EQ(chdir(cwd.c_str()), 0);
	EXPECT_EQ(pref_file_path(11), "");
	pref.IO_set(11, 0);
	pref.IO_set(11, 1);
	EXPECT_EQ(chdir(old_cwd), 0);
	EXPECT_TRUE(kx_test::tree_listing(cwd).empty());
}

TEST(Pref, AFailedSaveKeepsTheStoredFile)
{
	kx_test::TempEnv env;
	InstallerPrefs vars;
	const std::string stored = kHeader + "_proxy_host stored.example\n";
	ASSERT_TRUE(kx_test::write_file(prefs11(env), stored));
	pref.IO_set(11, 0);
	xer.open(env.path("log.txt"));

	// A full disk: the new file cannot be flushed. Files of the child may grow only as
	// far as the log's line, which names the file the save was to replace.
	const std::string line = "Could not write the preferences file " + prefs11(env) + "\n";
	const pid_t pid = fork();
	ASSERT_GE(pid, 0);
	if (pid == 0) {
		signal(SIGXFSZ, SIG_IGN);
		const struct rlimit rl = {line.size(), line.size()};
		setrlimit(RLIMIT_FSIZE, &rl);
		http.proxy_host = "new.example" + std::string(line.size(), 'x');
		pref.IO_set(11, 1);
		_exit(0);
	}
	int status = -1;
	ASSERT_TRUE(kx_test::reap_within(pid, &status, "The save on a full disk"));
	EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
	EXPECT_EQ(kx_test::read_file(prefs11(env)), stored);
	EXPECT_FALSE(has_temp_name(env.path("home/.config/")));
	EXPECT_EQ(kx_test::read_file(env.path("log.txt")), line);

	// A file that cannot be opened at all (every descriptor taken): the warning alert,
	// and the stored file stays.
	{
		kx_test::AlertRecorder rec;
		std::vector<int> taken;
		for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
		pref.IO_set(11, 1);
		for (int fd : taken) close(fd);
		ASSERT_EQ(rec.alerts().size(), 1u);
		EXPECT_EQ(rec.alerts()[0].type, t_alert);
	}
	EXPECT_EQ(kx_test::read_file(prefs11(env)), stored);
	xer.close();
}

// Run in a fresh process: whether file 11 has been read is the state of the whole process.
TEST(PrefDeathTest, ASaveBeforeAnyReadKeepsTheStoredSettings)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(
		{
			kx_test::TempEnv env;
			InstallerPrefs vars;
			kx_test::write_file(prefs11(env), kHeader + "_proxy_host stored.example\n_log_actions 1\n_lang 2\n");
			stg.get_beta = 1;  // start values a relaunched copy would otherwise save
			pref.IO_set(11, 1);
			const std::string out = kx_test::read_file(prefs11(env));
			const bool ok = out == kHeader +
			                           "_stream_count -5\n"
			                           "_log_actions 1\n"
			                           "_proxy_host stored.example\n"
			                           "_proxy_port start port\n"
			                           "_proxy_port_int -5\n"
			                           "_get_beta 1\n"
			                           "_lang 2\n";
			std::_Exit(ok ? 0 : 1);
		},
		::testing::ExitedWithCode(0), "");
}

TEST(Pref, WindowFileCorrectsImpossibleSizes)
{
	kx_test::TempEnv env;
	InstallerPrefs vars;
	ASSERT_EQ(chdir(env.root().c_str()), 0);
	const std::string file10 = env.path("Resources/preferences/Res Orvala.prf");
	ASSERT_TRUE(kx_test::write_file(file10, kHeader + "_x_res_req_PLN 640\n_y_res_req_ALL 900\n_lang 3\n_keylist_up 0\n"));
	mnw.x_res_req = 800;
	mnw.y_res_req = 600;
	pref.IO_set(10, 0);
	EXPECT_EQ(mnw.x_res_req, 1024);  // no "_x_res_req_ALL": 0, then corrected
	EXPECT_EQ(mnw.y_res_req, 900);
	EXPECT_EQ(mnw.lang, 3);
	EXPECT_EQ(mnw.keylist_up, 0);

	mnw.x_res_req = 1280;
	mnw.prefs_found = 0;
	pref.IO_set(10, 1);
	EXPECT_EQ(mnw.prefs_found, 1);
	EXPECT_EQ(kx_test::read_file(file10), kHeader +
	                                          "_x_res_req_PLN 640\n_y_res_req_PLN 0\n_x_res_req_WRL 0\n_y_res_req_WRL 0\n"
	                                          "_x_res_req_ALL 1280\n_y_res_req_ALL 900\n_col_res_req 0\n_set_res 0\n"
	                                          "_lang 3\n_alias_req 0\n_keylist_up 0\n_sec_mon_inuse 0\n_prefs_found 1\n");

	// File 12 has no settings: reading does nothing, writing writes the header only.
	pref.IO_set(12, 1);
	EXPECT_EQ(kx_test::read_file(env.path("Resources/preferences/Cal Kestrix.prf")), kHeader);
	mnw.keylist_up = 1;
	mnw.prefs_found = 0;
	mnw.x_res_req = mnw.y_res_req = 0;
	ASSERT_EQ(chdir("/"), 0);
}
