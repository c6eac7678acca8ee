// The DVD install run. Each file to install is one task: it copies the file's archive
// from the DVD into the temporary folder on the one-thread copy pool (DVD reads are
// never interleaved), then moves, as the same object, to the unpack pool with one
// thread per processor. The install screen steps the run once per frame.
#include <cxxabi.h>
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <new>

#include "engine/install.h"
#include "engine/install_paths.h"
#include "engine/new_copy_folder.h"
#include "platform/plat_dirs.h"
#include "runtime/hl_dialogs.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/hl_thread.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_7z.h"
#include "runtime/io_utils_zip.h"
#include "runtime/rec_stg.h"
#include "runtime/translate.h"

UTL_worker_threads* copy_pool = nullptr;
UTL_worker_threads* unzip_pool = nullptr;
int install_err_num = 0;
std::string install_err_msg;
std::string install_err_link;

namespace {
// The log lines of an unpack refused before anything was written.
constexpr char kRefusedLine[] = "EXPANDING refused for ";
constexpr char kLeavesTheCopy[] = ": it leaves the install folder.\n";
// (Arrays, not pointers: the log writes the program's own words as they stand.)
constexpr char kThroughLinkStart[] = ": the folder ";
constexpr char kThroughLinkEnd[] = " on its way is a symbolic link, and nothing is written through one.\n";
constexpr char kLinkOnTheWay[] =
    "The folder %s is a link to another place. The installer writes only into real folders; put the real folder "
    "in its place and try again.";
constexpr char kPathMark[] = "%s";

// The failed copy's message, and what it adds when the private temporary folder is the
// cause: the folder, which the reason after the message then belongs to.
constexpr char kCopyFailedStart[] = "I was unable to copy the file ";
constexpr char kCopyFailedEnd[] = " from the DVD to the hard drive.";
constexpr char kTempFolderLabel[] = " Temporary Folder: ";

std::string copy_failed(const std::string& source) { return kCopyFailedStart + source + kCopyFailedEnd; }

// The failed unpack's message names the archive on the disc: the copy it was unpacked
// from bears a private name that tells the user nothing.
constexpr char kUnzipFailedStart[] = "I was unable to unzip the file ";
constexpr char kUnzipFailedMiddle[] = " to the folder ";
constexpr char kUnzipFailedEnd[] = ".";

std::string unzip_failed(const std::string& source, const std::string& folder)
{
	return kUnzipFailedStart + source + kUnzipFailedMiddle + folder + kUnzipFailedEnd;
}

// True when `file` is a full path whose folder is there as a real folder, not a link.
bool folder_is_there(const std::string& file)
{
	const size_t slash = file.rfind('/');
	if (file.empty() || file[0] != '/' || slash == std::string::npos) return false;
	struct stat st;
	return lstat(slash == 0 ? "/" : file.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

std::string ENG_link_on_the_way(const std::string& link)
{
	return UTL_fill_marks(UTL_translate_string(kLinkOnTheWay), {{kPathMark, STR_utf8_to_font(link)}});
}

std::string suffix_for_file(int index)
{
	return sim_info[index].back().path.find("Global Scenery") != std::string::npos ? ".7z" : ".zip";
}

dvd_unpack_task::dvd_unpack_task(int index_, const std::string& temp_folder)
    : index(index_), stage(0), error_code(0)
{
	const file_version_struct& v = sim_info[index].back();
	suffix = suffix_for_file(index);
	// Nothing of the file list goes into the name: a temporary name of our own, unique
	// across runs and installers, that the next run's sweep knows.
	temp_file = temp_name_in(temp_folder) + suffix;
	std::string rel = v.path;
	trim_dest_folder(rel);
	destination = dest_dir_path + rel;
}

dvd_unpack_task::~dvd_unpack_task()
{
	if (stg.log_actions) {
		if (error_code)
			xer << "EXPANDING file " << destination << ", with result=" << error_code << ". " << error_message
			    << "\n";
		else
			xer << "EXPANDING file " << destination << ", with result=" << error_code << ".\n";
	}
}

int dvd_unpack_task::check_error(std::string& msg)
{
	msg = error_message;
	return error_code;
}

void dvd_unpack_task::do_it()
{
	// Nothing may escape a pool thread; a thread being ended must still unwind. The
	// message names the stage that failed; a failed copy keeps its own in stage 1.
	const bool copying = stage == 0;
	try {
		if (copying)
			copy_stage();
		else
			unpack_stage();
	} catch (abi::__forced_unwind&) {
		throw;
	} catch (const std::bad_alloc&) {
		if (!error_code) error_code = ENOMEM;
	} catch (...) {
		if (!error_code) error_code = EIO;
	}
	if (error_code && error_message.empty())
		error_message = copying ? copy_failed(copy_source()) : unzip_failed(copy_source(), ENG_folder_of(destination));
}

std::string dvd_unpack_task::copy_source() const
{
	return dvd_path + install_name + "/" + sim_info[index].back().path + suffix;
}

void dvd_unpack_task::copy_stage()
{
	const file_version_struct& v = sim_info[index].back();
	const std::string source = copy_source();
	stage = 1;
	if (!path_stays_inside(v.path)) {
		error_code = EINVAL;
		return;
	}
	// The archive waits in the private temporary folder. One that went away since the
	// run began (a clean-up of the temporary files) is made again by the lookup that made
	// it, which keeps it private and refuses a link or another user's folder in its
	// place; without any, a bare name would land in the working folder. When it cannot
	// be had, the message names it.
	if (!folder_is_there(temp_file)) {
		std::string folder;
		if (const int e = get_OS_abs_path(os_dir_temp, folder)) {
			error_code = e;
			error_message = copy_failed(source) + kTempFolderLabel + plat_temp_dir_candidate();
			return;
		}
		temp_file = temp_name_in(folder) + suffix;
	}
	error_code = copy_file(source, temp_file);
	// A partial copy (a full disk) would only take space.
	if (error_code) delete_file(temp_file);
}

int ENG_unpack_into_place(const std::string& archive, const std::string& destination, std::string* link,
                          const std::string& named)
{
	const std::string rel = !dest_dir_path.empty() && destination.compare(0, dest_dir_path.size(), dest_dir_path) == 0
	                            ? destination.substr(dest_dir_path.size())
	                            : std::string();
	const std::string folder = ENG_folder_of(destination);

	// The folder may be missing: the clean-up after deletions removes folders that
	// became empty, also one that a file still to come lands in.
	std::string through;
	int r = ENG_reach_inside(rel, true, &through);
	if (r == EINVAL) xer << kRefusedLine << destination << kLeavesTheCopy;
	if (r == ELOOP) {
		xer << kRefusedLine << destination << kThroughLinkStart << through << kThroughLinkEnd;
		if (link) *link = through;
	}

	// Every file of the archive is written beside its destination under a temporary
	// name, and renamed into place only when the whole archive checked out (CRCs,
	// every write and close): an installed file is always the old one or the new one.
	unpack_record record;
	record.temp_names = true;
	// A shipped link may point into a sibling folder of the installation, never out of it.
	record.link_root = dest_dir_path;
	// The archive is the file's own: it may hold that file and nothing else.
	record.only_entry = destination.substr(destination.rfind('/') + 1);
	record.archive_name = named;
	if (!r && (record.only_entry.empty() || folder + record.only_entry != destination)) r = EINVAL;
	const bool seven = archive.size() >= 3 && archive.compare(archive.size() - 3, 3, ".7z") == 0;
	if (!r)
		r = seven ? p7z_to_file(archive, folder, nullptr, 0, &record) : zip_to_file(archive, folder, nullptr, 0, &record);
	size_t moved = 0;
	for (; !r && moved < record.items.size(); ++moved) {
		const unpack_record::item& it = record.items[moved];
		if (it.written != it.dest && rename(it.written.c_str(), it.dest.c_str()) != 0) {
			r = errno;
			break;
		}
	}
	// What was not renamed into place goes; what was stays (each file is whole).
	for (size_t i = moved; i < record.items.size(); ++i)
		if (record.items[i].written != record.items[i].dest) unlink(record.items[i].written.c_str());
	// An archive that checked out but did not hold the file is no install either, also
	// where an earlier version of the file is still in place.
	if (!r && std::none_of(record.items.begin(), record.items.end(),
	                       [&](const unpack_record::item& it) { return it.dest == destination; }))
		r = ENOENT;
	return r;
}

void dvd_unpack_task::unpack_stage()
{
	if (error_code) return;
	file_version_struct& v = sim_info[index].back();
	if (int r = ENG_unpack_into_place(temp_file, destination, &error_link, copy_source())) {
		error_code = r;
		return;
	}
	// Noted before anything else can fail: a cancelled new copy takes back what it placed.
	ENG_note_installed_file(destination);
	if (destination.find("Contents/MacOS/") != std::string::npos) make_file_executable(destination.c_str());
	delete_file(temp_file);
	v.sig_have = v.sig;
	v.have = 1;
}

int install_files(int& cursor, int disk)
{
	if (!copy_pool && !unzip_pool) {
		// A run ended by force left its copied archives behind; the processes that
		// wrote them are gone, so they are nobody's any more.
		std::string temp_folder = temp_path;
		if (temp_folder.empty()) get_OS_abs_path(4, temp_folder);
		if (!temp_folder.empty()) remove_temp_leftovers(temp_folder);
	}
	if (!copy_pool) copy_pool = new UTL_worker_threads(1, 30);
	if (!unzip_pool) unzip_pool = new UTL_worker_threads(UTL_count_processors(), 30);
	const int n = (int)sim_info.size();

	while (cursor < n && !sim_info[cursor].back().install) ++cursor;

	// Feed the copy pool with the files of this DVD, in list order. Archives wait in
	// the private temporary folder also when the wizard has not named one (a bare name
	// would land in the working folder); it is looked up only when a file is fed.
	std::string temp_folder = temp_path;
	while (cursor < n && copy_pool->has_free_slot()) {
		const file_version_struct& v = sim_info[cursor].back();
		if (v.disk != disk) break;
		if (v.install) {
			if (temp_folder.empty()) get_OS_abs_path(4, temp_folder);
			copy_pool->enqueue_task(new dvd_unpack_task(cursor, temp_folder));
		}
		++cursor;
	}

	// Copied archives move on to be unpacked; a failed copy moves too and does nothing.
	while (unzip_pool->has_free_slot()) {
		UTL_work_task* t = copy_pool->check_retired_tasks();
		if (!t) break;
		unzip_pool->enqueue_task(t);
	}

	// One error per step; other finished tasks wait for the next step.
	while (UTL_work_task* t = unzip_pool->check_retired_tasks()) {
		install_err_num = t->check_error(install_err_msg);
		const dvd_unpack_task* task = dynamic_cast<const dvd_unpack_task*>(t);
		install_err_link = task ? task->error_link : std::string();
		delete t;
		if (install_err_num) return 3;
	}

	const bool idle = copy_pool->count_total_tasks() == 0 && unzip_pool->count_total_tasks() == 0;
	if (cursor == n && idle) {
		delete copy_pool;
		delete unzip_pool;
		copy_pool = nullptr;
		unzip_pool = nullptr;
		return 1;
	}
	if (cursor < n && idle && sim_info[cursor].back().install && sim_info[cursor].back().disk != disk) {
		want_file_disk = cursor;
		return 2;
	}
	return 0;
}

int install_files_get_error(std::string& msg)
{
	std::string link;
	return install_files_get_error(msg, link);
}

int install_files_get_error(std::string& msg, std::string& link)
{
	msg = install_err_msg;
	link = install_err_link;
	const int r = install_err_num;
	install_err_num = 0;
	install_err_msg.clear();
	install_err_link.clear();
	return r;
}

void install_files_kill()
{
	if (!copy_pool) return;
	// Archives already copied are still unpacked; nothing new is started. A copy in
	// flight ends when its disc answers, however long that takes: the window is served
	// meanwhile, and what the caller takes back afterwards is no longer being written.
	const dialog_hook_fn serve = HL_tool_pump();
	while (UTL_work_task* t = copy_pool->wait_retired_tasks(serve)) unzip_pool->enqueue_task(t);
	while (UTL_work_task* t = unzip_pool->wait_retired_tasks(serve)) delete t;
	delete copy_pool;
	delete unzip_pool;
	copy_pool = nullptr;
	unzip_pool = nullptr;
}
