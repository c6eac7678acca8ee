// The DVD install run's single-file rules: errors end a step with result 3 and the
// message, old files survive a failed unpack, and folders removed by the clean-up
// come back for the files that need them.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "engine/install.h"
#include "engine/install_fixture.h"
#include "engine/install_paths.h"
#include "runtime/hl_errors.h"
#include "support/archive_tools.h"
#include "support/bounded_wait.h"
#include "support/child_watch.h"
#include "support/no_file.h"

using namespace kx_install_test;
using kx_test::read_file;
using kx_test::write_file;

namespace {

class Run : public ::testing::Test {
protected:
	Run() : s_(env_) {}
	void TearDown() override
	{
		install_files_kill();
		sim_info.clear();
	}
	// Chooses, makes the folders, deletes, and steps until the first result.
	int start(int& cursor)
	{
		EXPECT_EQ(choose_files(), 1);
		EXPECT_EQ(make_dirs(), 0);
		delete_files();
		return step_until_done(cursor);
	}
	kx_test::TempEnv env_;
	run_setup s_;
};

void flip_byte(const std::string& path, long at)
{
	std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
	f.seekg(at);
	char c = 0;
	f.read(&c, 1);
	c ^= 0x5a;
	f.seekp(at);
	f.write(&c, 1);
}

void truncate_to_half(const std::string& path)
{
	struct stat st;
	ASSERT_EQ(stat(path.c_str(), &st), 0);
	ASSERT_EQ(truncate(path.c_str(), st.st_size / 2), 0);
}

std::string archive_of(const run_setup& s, const dvd_file& f)
{
	const bool sevenz = f.path.find("Global Scenery") != std::string::npos;
	return s.dvd_root + "disk_" + std::to_string(f.disk) + "/" + install_name + "/" + f.path + (sevenz ? ".7z" : ".zip");
}

std::string copy_failed(const run_setup& s, const std::string& path)
{
	return "I was unable to copy the file " + s.dvd_root + "disk_0/" + install_name + "/" + path +
	       " from the DVD to the hard drive.";
}

// Takes from the calling thread, and the threads it starts, the right to read a file
// whatever its mode, which root has: a file of mode 000 is then unreadable to root too.
bool drop_read_override()
{
	__user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
	__user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3] = {};
	if (syscall(SYS_capget, &head, caps) != 0) return false;
	for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
		caps[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
		caps[CAP_TO_INDEX(cap)].permitted &= ~CAP_TO_MASK(cap);
		caps[CAP_TO_INDEX(cap)].inheritable &= ~CAP_TO_MASK(cap);
	}
	return syscall(SYS_capset, &head, caps) == 0;
}

// What a run in a child process ended its first step with.
struct child_result {
	int step = -1;  // install_files' answer; -1 when the child gave none
	int code = 0;
	std::string msg;
};

// The largest file the child may write: a copy that never ends fails there instead of
// filling the disk.
constexpr rlim_t kChildFileLimit = 1 << 20;

// Chooses, makes the folders and steps the run in a child process until its first
// result; `prepare` runs in the child first. Whatever the run does wrong stays in the
// child: a wait that never ends is cut at the hang bound, a copy without end at
// kChildFileLimit.
child_result run_in_child(const std::string& result_file, bool (*prepare)() = nullptr)
{
	kx_test::ChildWatch started;
	if (fork() == 0) {
		signal(SIGXFSZ, SIG_IGN);
		const struct rlimit limit = {kChildFileLimit, kChildFileLimit};
		if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || (prepare && !prepare())) _exit(1);
		int cursor = 0;
		if (choose_files() != 1 || make_dirs() != 0) _exit(2);
		const int r = step_until_done(cursor);
		std::string msg;
		const int code = install_files_get_error(msg);
		write_file(result_file, std::to_string(r) + " " + std::to_string(code) + "\n" + msg);
		_exit(0);
	}
	EXPECT_TRUE(started.wait_new()) << "the run did not come to a result: it waits";
	child_result out;
	const std::string got = read_file(result_file);
	const size_t nl = got.find('\n');
	if (nl == std::string::npos || std::sscanf(got.c_str(), "%d %d", &out.step, &out.code) != 2) return out;
	out.msg = got.substr(nl + 1);
	return out;
}

}  // namespace

TEST_F(Run, NothingChosenEndsAtTheFirstStep)
{
	file_version_struct& v = add_history(version("All/a.txt", md5_of("a")));
	v.sig_have = v.sig;
	v.have = 1;
	int cursor = 0;
	EXPECT_EQ(start(cursor), 1);
	EXPECT_EQ(cursor, 1);
	EXPECT_EQ(copy_pool, nullptr);
	EXPECT_EQ(unzip_pool, nullptr);
}

TEST_F(Run, SuffixFollowsTheGlobalSceneryFolder)
{
	add_history(version("All/Global Scenery/+40-080/+40-080.dsf", "x"));
	add_history(version("All/Custom Scenery/Global Scenery Notes/x.dsf", "x"));
	add_history(version("All/global scenery/y.dsf", "x"));
	EXPECT_EQ(suffix_for_file(0), ".7z");
	EXPECT_EQ(suffix_for_file(1), ".7z");
	EXPECT_EQ(suffix_for_file(2), ".zip");
	dvd_unpack_task t(0, "/tmp/x/");
	EXPECT_EQ(t.suffix, ".7z");
	EXPECT_EQ(t.destination, dest_dir_path + "Global Scenery/+40-080/+40-080.dsf");
	EXPECT_EQ(t.temp_file.rfind(std::string("/tmp/x/") + kx_temp_mark, 0), 0u);  // nothing of the list in it
	EXPECT_EQ(t.temp_file.substr(t.temp_file.size() - 3), ".7z");
	EXPECT_EQ(t.stage, 0);
	EXPECT_EQ(t.error_code, 0);
}

TEST_F(Run, AMissingArchiveIsACopyError)
{
	const dvd_file good{"All/a/good.txt", "good", 0};
	master(s_, {good});
	add_history(version("All/a/missing.txt", md5_of("m")));
	sim_info.back().back().sig_have = "NONE";
	int cursor = 0;
	ASSERT_EQ(start(cursor), 3);
	std::string msg;
	EXPECT_EQ(install_files_get_error(msg), 2);
	EXPECT_EQ(msg, "I was unable to copy the file " + s_.dvd_root + "disk_0/" + install_name +
	                   "/All/a/missing.txt.zip from the DVD to the hard drive.");
	EXPECT_EQ(install_files_get_error(msg), 0);
	EXPECT_EQ(msg, "");
	EXPECT_EQ(sim_info[1].back().have, 0);
	// The wizard may go on with the same run.
	ASSERT_EQ(step_until_done(cursor), 1);
	EXPECT_EQ(read_file(dest_dir_path + "a/good.txt"), "good");
}

// A disc's archive that is no file is refused at once by its copy, with the reason in
// the question: nothing waits on a FIFO, and nothing copies a device until the disk is full.
TEST_F(Run, AnArchiveThatIsNoFileIsRefusedAtOnce)
{
	const dvd_file f{"All/a.txt", "a", 0};
	master(s_, {f});
	for (const kx_test::no_file& c : kx_test::kNoFiles) {
		SCOPED_TRACE(c.what);
		const std::string archive = archive_of(s_, f);
		kx_test::remove_tree(archive);
		ASSERT_TRUE(kx_test::plant_no_file(c, archive));
		const child_result r = run_in_child(env_.path("result.txt"));
		EXPECT_EQ(r.step, 3);
		EXPECT_EQ(r.code, c.error) << error_str(r.code);
		EXPECT_EQ(r.msg, copy_failed(s_, f.path + ".zip"));
		EXPECT_TRUE(kx_test::tree_listing(temp_path).empty());
		EXPECT_FALSE(exists(dest_dir_path + "a.txt"));
	}
}

// An archive the user may not read says so, whether or not the tests run as root.
TEST_F(Run, AnArchiveThatCannotBeReadSaysPermissionDenied)
{
	const dvd_file f{"All/a.txt", "a", 0};
	master(s_, {f});
	ASSERT_EQ(chmod(archive_of(s_, f).c_str(), 0), 0);
	const child_result r = run_in_child(env_.path("result.txt"), drop_read_override);
	EXPECT_EQ(r.step, 3);
	EXPECT_EQ(r.code, EACCES);
	EXPECT_EQ(error_str(r.code).rfind("Permission denied", 0), 0u) << error_str(r.code);
	EXPECT_EQ(r.msg, copy_failed(s_, f.path + ".zip"));
}

// The private temporary folder deleted while a run goes on (a clean-up of the temporary
// files) is made again, private, for the next file; a link put in its place is refused,
// and the message names the folder the reason belongs to.
TEST_F(Run, ATemporaryFolderRemovedMidRunIsMadeAgainOrNamed)
{
	master(s_, {{"All/a.txt", "a", 0}, {"All/b.txt", "b", 0}, {"All/c.txt", "c", 0}});
	ASSERT_EQ(choose_files(), 1);
	ASSERT_EQ(make_dirs(), 0);
	// The run makes its tasks while the folder is there.
	dvd_unpack_task a(0, temp_path), b(1, temp_path), c(2, temp_path);
	for (dvd_unpack_task* t : {&a, &a}) t->do_it();  // copy, then unpack
	ASSERT_EQ(a.error_code, 0) << a.error_message;

	kx_test::remove_tree(temp_path);
	for (dvd_unpack_task* t : {&b, &b}) t->do_it();
	EXPECT_EQ(b.error_code, 0) << b.error_message;
	EXPECT_EQ(read_file(dest_dir_path + "b.txt"), "b");
	struct stat st;
	ASSERT_EQ(lstat(temp_path.c_str(), &st), 0);
	EXPECT_TRUE(S_ISDIR(st.st_mode));
	EXPECT_EQ(st.st_mode & 0777, 0700u);

	kx_test::remove_tree(temp_path);
	const std::string elsewhere = env_.path("elsewhere/");
	write_file(elsewhere + ".keep", "");
	ASSERT_EQ(symlink(elsewhere.c_str(), temp_path.substr(0, temp_path.size() - 1).c_str()), 0);
	c.do_it();
	EXPECT_EQ(c.error_code, ELOOP);
	EXPECT_EQ(c.error_message, copy_failed(s_, "All/c.txt.zip") + " Temporary Folder: " + temp_path);
	EXPECT_EQ(kx_test::tree_listing(elsewhere).size(), 1u);
	unlink(temp_path.substr(0, temp_path.size() - 1).c_str());
}

TEST_F(Run, CorruptAndTruncatedArchivesFailAndKeepTheOldFile)
{
	const std::string old_content = "the old version\n";
	std::vector<dvd_file> files = {
	    {"All/a/stored.bin", random_bytes(50000, 1), 0, archiver::info_zip},
	    {"All/a/ours.bin", random_bytes(50000, 2), 0, archiver::ours},
	    {"All/a/cut.bin", random_bytes(50000, 3), 0, archiver::info_zip},
	    {"All/Global Scenery/+40-080/+40-080.dsf", random_bytes(50000, 4), 0},
	    {"All/Global Scenery/+40-090/+40-090.dsf", random_bytes(50000, 5), 0},
	};
	master(s_, files);
	// Each file has an old version on disk that the run would replace.
	for (size_t i = 0; i < files.size(); ++i) {
		std::string rel = files[i].path;
		trim_dest_folder(rel);
		write_file(dest_dir_path + rel, old_content);
		file_version_struct old = version(files[i].path, md5_of(old_content));
		sim_info[i].insert(sim_info[i].begin(), old);
		sim_info[i].back().sig_have = md5_of(old_content);
	}
	flip_byte(archive_of(s_, files[0]), 25000);
	flip_byte(archive_of(s_, files[1]), 25000);
	truncate_to_half(archive_of(s_, files[2]));
	flip_byte(archive_of(s_, files[3]), 25000);
	truncate_to_half(archive_of(s_, files[4]));

	EXPECT_EQ(choose_files(), 1);
	EXPECT_EQ(make_dirs(), 0);
	int cursor = 0;
	// Each message, and the log, names the archive on the disc: the copy it was unpacked
	// from, and the files written beside their destinations, bear private names.
	const kx_test::LogCapture log(env_.path("log.txt"));
	const std::string start = "I was unable to unzip the file ", middle = " to the folder ";
	std::set<std::string> named;
	int errors = 0;
	for (int r; (r = step_until_done(cursor)) == 3;) {
		std::string msg;
		const int code = install_files_get_error(msg);
		EXPECT_NE(code, 0);
		EXPECT_EQ(msg.rfind(start, 0), 0u) << msg;
		EXPECT_NE(msg.find(middle + dest_dir_path), std::string::npos) << msg;
		EXPECT_EQ(msg.find(kx_temp_mark), std::string::npos) << msg;
		named.insert(msg.substr(start.size(), msg.find(middle) - start.size()));
		++errors;
	}
	EXPECT_EQ(errors, 5);
	std::set<std::string> archives;
	for (const dvd_file& f : files) archives.insert(archive_of(s_, f));
	EXPECT_EQ(named, archives);
	EXPECT_NE(log.text().find("zip_file=" + archive_of(s_, files[0])), std::string::npos) << log.text();
	EXPECT_EQ(log.text().find(kx_temp_mark), std::string::npos) << log.text();
	for (size_t i = 0; i < files.size(); ++i) {
		std::string rel = files[i].path;
		trim_dest_folder(rel);
		EXPECT_EQ(read_file(dest_dir_path + rel), old_content) << files[i].path;
		EXPECT_EQ(sim_info[i].back().have, 0);
	}
	EXPECT_EQ(kx_test::tree_listing(temp_path).size(), 5u);  // a failed archive stays for a look
	EXPECT_EQ(run("find " + quote(dest_dir_path) + " -name '.kxtmp-*' | grep -q ."), 256);
}

TEST_F(Run, TheOnlyTileOfAFolderCanBeSwappedForAnother)
{
	// The product drops the folder's only tile and brings another one in the same
	// folder; the clean-up after the deletion removes the emptied folder in between.
	const std::string old_tile = "All/Global Scenery/+40-080/+40-080.dsf";
	write_file(dest_dir_path + "Global Scenery/+40-080/+40-080.dsf", "old tile");
	file_version_struct gone = version(old_tile, "GONE");
	gone.is_global = 1;
	gone.lat_band = 13;
	gone.lon_band = 10;
	gone.sig_have = md5_of("old tile");
	add_history(gone, {version(old_tile, md5_of("old tile"))});
	const dvd_file new_tile{"All/Global Scenery/+40-080/+41-080.dsf", "new tile", 0};
	put_on_dvd(s_.dvd_root, s_.work, new_tile);
	add_tile(new_tile.path, md5_of("new tile"), 13, 10, "NONE");

	int cursor = 0;
	ASSERT_EQ(start(cursor), 1);
	EXPECT_FALSE(exists(dest_dir_path + "Global Scenery/+40-080/+40-080.dsf"));
	EXPECT_EQ(read_file(dest_dir_path + "Global Scenery/+40-080/+41-080.dsf"), "new tile");
}

TEST_F(Run, NothingIsWrittenOutsideTheInstallFolder)
{
	const std::string outside = env_.path("outside/");
	write_file(outside + "victim.txt", "precious");
	write_file(dest_dir_path + ".keep", "");
	ASSERT_EQ(symlink(outside.c_str(), (dest_dir_path + "linked").c_str()), 0);
	put_on_dvd(s_.dvd_root, s_.work, {"All/linked/victim.txt", "overwritten", 0});
	file_version_struct& v = add_history(version("All/linked/victim.txt", md5_of("overwritten")));
	v.sig_have = "NONE";
	int cursor = 0;
	ASSERT_EQ(start(cursor), 3);
	std::string msg;
	EXPECT_EQ(install_files_get_error(msg), ELOOP);
	EXPECT_EQ(read_file(outside + "victim.txt"), "precious");
	EXPECT_EQ(step_until_done(cursor), 1);
}

TEST_F(Run, NamesAsLongAsTheFileSystemTakesInstall)
{
	// The file system takes 255 bytes; the DVD adds ".zip" or ".7z" to the name.
	constexpr size_t longest_on_dvd = 255 - 4;
	const std::string name(longest_on_dvd, 'n');
	const std::string tile = "+40-080" + std::string(255 - 3 - 7 - 4, 't') + ".dsf";
	master(s_, {{"All/long/" + name, "zip", 0, archiver::info_zip},
	            {"All/" + std::string(243, 'o'), "ours", 0, archiver::ours},
	            {"All/Global Scenery/+40-080/" + tile, "7z", 0}});
	int cursor = 0;
	ASSERT_EQ(start(cursor), 1);
	EXPECT_EQ(read_file(dest_dir_path + "long/" + name), "zip");
	EXPECT_EQ(read_file(dest_dir_path + std::string(243, 'o')), "ours");
	EXPECT_EQ(read_file(dest_dir_path + "Global Scenery/+40-080/" + tile), "7z");
}

TEST_F(Run, TwoLinksTogetherDoNotLeadOut)
{
	// "x" points at its own folder, so "x/.." is the folder above the installation.
	write_file(dest_dir_path + ".keep", "");
	master(s_, {{"All/x", ".", 0, archiver::info_zip, 0644, 1500000000, true},
	            {"All/y", "x/..", 0, archiver::ours, 0644, 1500000000, true},
	            {"All/d/z", "../x/..", 0, archiver::info_zip, 0644, 1500000000, true}});
	int cursor = 0;
	int errors = 0;
	for (int r = start(cursor); r != 1; r = step_until_done(cursor)) {
		ASSERT_EQ(r, 3);
		std::string msg;
		EXPECT_NE(install_files_get_error(msg), 0);
		++errors;
	}
	EXPECT_EQ(errors, 2);
	std::string target;
	EXPECT_TRUE(is_sim_link((dest_dir_path + "x").c_str(), &target));
	EXPECT_FALSE(exists(dest_dir_path + "y"));
	EXPECT_FALSE(exists(dest_dir_path + "d/z"));
}

// A copy on a drive that cannot hold links (exFAT, FAT): its link is kept as a file
// holding the link's text, the install ends clean, the log names the file in the copy,
// and a repair's scan right after finds every file current.
TEST_F(Run, ALinkTheDriveCannotHoldInstallsAsItsTextAndReadsAsCurrent)
{
	const std::string text = "../Instructions/Read Me First.txt";
	master(s_, {{"All/Instructions/Read Me First.txt", "read me", 0},
	            {"All/Output/manual link", text, 0, archiver::info_zip, 0644, 1500000000, true}});
	// The file list holds the digest the builder takes of a link.
	const std::string made = s_.work + "made link";
	ASSERT_EQ(symlink(text.c_str(), made.c_str()), 0);
	std::string listed;
	ASSERT_EQ(calc_file_md5(made, listed), 0);
	ASSERT_EQ(sim_info[1].back().sig, listed);

	kx_test::LogCapture log(env_.path("log.txt"));
	const child_result r = run_in_child(env_.path("result.txt"), [] {
		return kx_test::fail_calls_from_now({SYS_symlink, SYS_symlinkat}, ENOSYS);
	});
	EXPECT_EQ(r.step, 1) << r.msg;
	EXPECT_EQ(r.code, 0) << r.msg;
	const std::string installed = dest_dir_path + "Output/manual link";
	EXPECT_FALSE(is_sim_link(installed.c_str(), nullptr));
	EXPECT_EQ(read_file(installed), text);
	const std::string line = "Kept " + installed + " as a file holding the link's text, because the drive cannot hold "
	                         "links (" + error_str(ENOSYS) + ").\n";
	const std::string logged = log.text();
	const size_t at = logged.find(line);
	EXPECT_NE(at, std::string::npos) << logged;
	EXPECT_EQ(logged.find(line, at + 1), std::string::npos) << "one line: " << logged;

	kx_test::finishes_within("the repair's scan", [] {
		int cursor = 0;
		float progress = 0;
		while (checksum_directory(cursor, progress) == 0) sched_yield();
	});
	for (const file_history_struct& h : sim_info) {
		EXPECT_EQ(h.back().sig_have, h.back().sig) << h.back().path;
		EXPECT_EQ(h.back().have, 1) << h.back().path;
	}
}

TEST_F(Run, WithoutATemporaryFolderTheArchivesWaitInThePrivateOne)
{
	const std::string private_temp = temp_path;
	temp_path.clear();
	const dvd_file f{"All/a.txt", random_bytes(5000, 1), 0};
	master(s_, {f});
	truncate_to_half(archive_of(s_, f));  // a failed archive stays where it was copied
	int cursor = 0;
	ASSERT_EQ(start(cursor), 3);
	std::string msg;
	install_files_get_error(msg);
	EXPECT_EQ(msg.rfind("I was unable to unzip the file " + archive_of(s_, f), 0), 0u) << msg;
	EXPECT_EQ(kx_test::tree_listing(private_temp).size(), 1u);
}

TEST_F(Run, WithoutAnyTemporaryFolderNoArchiveIsCopied)
{
	temp_path.clear();
	kx_test::ScopedEnvVar tmpdir("TMPDIR", env_.path("gone").c_str());
	master(s_, {{"All/a.txt", "a", 0}});
	// A bare name would land in the working folder.
	const std::string here = env_.path("here/");
	::mkdir(here.c_str(), 0755);
	int cursor = 0;
	{
		kx_test::ScopedWorkingFolder cwd(here);
		EXPECT_EQ(start(cursor), 3);
	}
	std::string msg;
	EXPECT_EQ(install_files_get_error(msg), ENOENT);
	// The reason belongs to the folder the message names.
	EXPECT_EQ(msg, copy_failed(s_, "All/a.txt.zip") + " Temporary Folder: " + env_.path("gone/kestrix-installer-") +
	                   std::to_string(getuid()) + "/");
	EXPECT_TRUE(kx_test::tree_listing(here).empty());
	EXPECT_FALSE(exists(dest_dir_path + "a.txt"));
}

TEST_F(Run, EachFileIsLoggedWhenAsked)
{
	xer.open(env_.path("log.txt"));
	stg.log_actions = 1;
	master(s_, {{"All/a.txt", "a", 0}});
	add_history(version("All/b.txt", md5_of("b")));
	sim_info.back().back().sig_have = "NONE";
	int cursor = 0;
	ASSERT_EQ(start(cursor), 3);
	ASSERT_EQ(step_until_done(cursor), 1);
	xer.close();
	const std::string log = read_file(env_.path("log.txt"));
	EXPECT_NE(log.find("EXPANDING file " + dest_dir_path + "a.txt, with result=0.\n"), std::string::npos);
	EXPECT_NE(log.find("EXPANDING file " + dest_dir_path + "b.txt, with result=2. I was unable to copy the file "),
	          std::string::npos);
}

TEST_F(Run, AnArchiveYieldsOnlyItsListedFile)
{
	// A copy in place: the pilot's logbook, another tile, and an older version of c.txt.
	const std::string logbook = "Output/logbooks/Kestrix Log.txt";
	write_file(dest_dir_path + logbook, "the pilot's logbook");
	write_file(dest_dir_path + "Global Scenery/+40-080/+40-081.dsf", "the other tile");
	const std::vector<dvd_file> files = {
	    {"All/a.txt", "new a", 0, archiver::info_zip},
	    {"All/Global Scenery/+40-080/+40-080.dsf", "new tile", 0},
	    {"All/b.txt", "new b", 0, archiver::info_zip},
	    {"All/c.txt", "new c", 0, archiver::info_zip},
	};
	master(s_, files);
	write_file(dest_dir_path + "c.txt", "old c");
	sim_info[3].insert(sim_info[3].begin(), version(files[3].path, md5_of("old c")));
	sim_info[3].back().sig_have = md5_of("old c");

	// A disc that carries more than each file: the logbook beside a.txt, a second tile
	// beside the first, and for c.txt an archive without any entry.
	auto repack = [&](size_t i, const std::string& command, const std::vector<std::string>& names) {
		const dvd_file& f = files[i];
		const std::string from = s_.work + "extra" + std::to_string(i) + "/";
		write_file(from + ".keep", "");
		std::string args;
		for (const std::string& n : names) {
			write_file(from + n, n == logbook || n.find("+40-081") == 0 ? "overwritten" : f.content);
			args += " " + quote(n);
		}
		const std::string archive = archive_of(s_, f);
		unlink(archive.c_str());
		ASSERT_EQ(run("cd " + quote(from) + " && " + command + " " + quote(archive) + args), 0) << command;
	};
	repack(0, "zip -q -X", {"a.txt", logbook});
	repack(1, "bsdtar --format 7zip -cf", {"+40-080.dsf", "+40-081.dsf"});
	repack(3, "python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], \"w\").close()'", {});

	EXPECT_EQ(choose_files(), 1);
	EXPECT_EQ(make_dirs(), 0);
	int cursor = 0;
	std::multiset<int> codes;
	for (int r; (r = step_until_done(cursor)) == 3;) {
		std::string msg;
		codes.insert(install_files_get_error(msg));
		EXPECT_EQ(msg.rfind("I was unable to unzip the file " + s_.dvd_root + "disk_0/" + install_name + "/", 0), 0u)
		    << msg;
	}
	EXPECT_EQ(codes, (std::multiset<int>{err_zip_open, err_zip_open, ENOENT}));
	EXPECT_EQ(read_file(dest_dir_path + logbook), "the pilot's logbook");
	EXPECT_EQ(read_file(dest_dir_path + "Global Scenery/+40-080/+40-081.dsf"), "the other tile");
	EXPECT_FALSE(exists(dest_dir_path + "a.txt"));
	EXPECT_FALSE(exists(dest_dir_path + "Global Scenery/+40-080/+40-080.dsf"));
	EXPECT_EQ(read_file(dest_dir_path + "c.txt"), "old c");
	EXPECT_EQ(read_file(dest_dir_path + "b.txt"), "new b");
	for (int i : {0, 1, 3}) EXPECT_EQ(sim_info[i].back().have, 0) << i;
	EXPECT_EQ(run("find " + quote(dest_dir_path) + " -name '.kxtmp-*' | grep -q ."), 256);
}
