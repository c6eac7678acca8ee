// The checksum scan: which wanted files of the file list are in the install folder,
// and are they the wanted version? The digests run on a worker pool, ten files per
// task, fed and collected once per frame, so the interface keeps drawing while a large
// tree is digested.
#include <sys/stat.h>

#include <string>

#include "engine/checksum_task.h"
#include "engine/engine.h"
#include "engine/install_paths.h"
#include "runtime/hl_dialogs.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/xtim.h"

namespace {

// What a present thing that is no regular file (a FIFO, socket, device or folder
// where a file belongs) reads as. It matches no digest, so the chooser treats it as a
// file the user changed and asks before touching it; and nothing ever opens it, since
// opening a FIFO for reading blocks until a writer comes.
const char* const not_a_file = "NOT A FILE";

// The frame clock's seconds, so the scan's two log lines compare with the rest of the log.
double elapsed_seconds() { return double(xtim.microsecs()) / 1000000.0; }

void digest_one(file_version_struct& v)
{
	std::string rel = v.path;
	trim_dest_folder(rel);
	const std::string disk_path = dest_dir_path + rel;

	v.sig_have = "NONE";
	// What the install and delete steps may not reach is not in the install folder:
	// through a folder link it would be someone else's file, to be counted as
	// installed, or asked about and deleted.
	struct stat st;
	if (ENG_reach_inside(rel, false) == 0 && lstat(disk_path.c_str(), &st) == 0) {
		if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
			calc_file_md5(disk_path, v.sig_have);  // a link is digested as its target text
		else
			v.sig_have = not_a_file;
	}
	v.have = (v.sig == v.sig_have) ? 1 : 0;
}

}  // namespace

void trim_dest_folder(std::string& path)
{
	if (path.empty()) return;
	size_t slash = path.find('/');
	if (slash == std::string::npos) return;
	path.erase(0, slash + 1);
}

void checksum_task::do_it()
{
	for (int i = first; i < last; ++i) {
		const int j = int(sim_info[i].size()) - 1;
		if (!want_this_f(i, j)) continue;
		digest_one(sim_info[i][j]);
	}
}

int checksum_task::check_error(std::string& msg)
{
	msg.clear();
	return 0;
}

int checksum_directory(int& cursor, float& progress)
{
	// The run after the scan works only in the folder the scan looked at.
	if (cursor == 0) ENG_note_scanned_copy();
	if (!dir_exists(dest_dir_path)) {
		// The pool's tasks own the fields written below until they are collected, so a
		// folder that vanished under a running scan ends that scan first.
		checksum_directory_kill();
		for (file_history_struct& h : sim_info) {
			file_version_struct& w = h.back();
			w.sig_have = "NONE";
			w.have = (w.sig == w.sig_have) ? 1 : 0;
		}
		return 1;
	}

	if (!checksum_workers) {
		int threads = UTL_count_processors();
		if (threads < 1) threads = 1;
		checksum_workers = new UTL_worker_threads(threads, checksum_tasks_per_processor * threads);
		xer << " Start of MD5 at " << elapsed_seconds() << "\n";
	}

	const int n = int(sim_info.size());
	// A cursor outside the list would index past it or never finish.
	if (cursor < 0) cursor = 0;
	if (cursor > n) cursor = n;
	while (cursor < n && checksum_workers->has_free_slot()) {
		int k = n - cursor;
		if (k > checksum_files_per_task) k = checksum_files_per_task;
		checksum_workers->enqueue_task(new checksum_task(cursor, cursor + k));
		cursor += k;
	}

	while (UTL_work_task* t = checksum_workers->check_retired_tasks()) delete t;

	progress = n ? float(cursor) / float(n) : 0.0f;

	if (cursor != n) return 0;
	if (checksum_workers->count_total_tasks() != 0) return 0;

	delete checksum_workers;
	checksum_workers = nullptr;
	xer << " End of MD5 at " << elapsed_seconds() << "\n";
	return 1;
}

void checksum_directory_kill()
{
	if (!checksum_workers) return;
	// Tasks already handed out run to their end; their results stay in the model. The
	// window is served while they do.
	while (UTL_work_task* t = checksum_workers->wait_retired_tasks(HL_tool_pump())) delete t;
	delete checksum_workers;
	checksum_workers = nullptr;
}
