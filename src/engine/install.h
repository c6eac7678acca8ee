#pragma once
// The engine's action on an install folder: choosing per file what to install, keep or
// delete (asking about files the user changed), making the folders and deleting what
// is obsolete, and the DVD install run on its two worker pools.
//
// The two questions are modal windows of the shell (996 and 997). The engine reaches
// them through hooks so that it never calls up into the shell; with no hook installed a
// question "cannot be shown" and answers 3.
#include <errno.h>

#include <set>
#include <string>

#include "engine/engine.h"
#include "runtime/UTL_thread.h"

// choose_files, select_alert, path_has_no_file, make_dirs, delete_files,
// install_files, install_files_kill, install_files_get_error, suffix_for_file and
// abort_alert are declared in engine/engine.h with the rest of what the wizard calls.

// The seven texts of the window-996 question, already translated.
struct select_alert_texts_t {
	std::string first_line;
	std::string third_line;
	std::string button1;  // result 1
	std::string button2;  // result 2
	std::string button4;  // result 4
	std::string button5;  // result 5
	std::string button3;  // result 3
};
select_alert_texts_t select_alert_texts(int gone);

// The warning for a folder that could not be made.
void make_dir_error(std::string path, int code);

// What removing one file of the list came to.
struct ENG_removal {
	int code = 0;          // delete_file's result, or why the removal was refused
	bool reached = false;  // the file was reachable: its folders may be cleaned up
	// A file already gone is removed all the same, as is one whose folder is a file (no
	// file can stand below it); anything else left it in place.
	bool failed() const { return code != 0 && code != ENOENT && code != ENOTDIR; }
};
// Removes the file `rel` of the list (its platform folder trimmed) at `full`, which is
// dest_dir_path + rel, by the rule of every deleting step: nothing outside the install
// folder or through a link in it. The line "DELETING  file ..." (after `log_prefix`) is
// logged when the log switch is on, and always for a failure, which a second line
// explains, naming the link on the way when there is one.
ENG_removal ENG_remove_listed_file(const std::string& rel, const std::string& full, const char* log_prefix);

// Every folder the product can have below an install folder: the folders of every file
// of the list (its platform folder trimmed, only paths that stay inside) and the
// product's working folders, each relative, without a final "/". make_dirs and the
// unpack make no folder outside this set.
std::set<std::string> ENG_product_folders();

// One file of the DVD run: copied from the DVD on the copy pool, then, as the same
// object, unpacked into the install folder on the unpack pool.
class dvd_unpack_task : public UTL_work_task {
public:
	dvd_unpack_task(int index, const std::string& temp_folder);
	~dvd_unpack_task() override;
	void do_it() override;
	int check_error(std::string& msg) override;

	int index;
	int stage;
	std::string temp_file;
	std::string suffix;
	std::string destination;
	std::string error_message;
	int error_code;
	// When the unpack was refused because a folder on the file's way is a link: that
	// folder's path, for the wizard to name.
	std::string error_link;

private:
	// Where the archive lies on the mounted DVD.
	std::string copy_source() const;
	void copy_stage();
	void unpack_stage();
};

// Unpacks `archive` (".7z" by its name, else zip) into the folder of `destination`, a
// file below dest_dir_path, each file under a temporary name (temp_name_in) renamed
// into place only once the whole archive checked out. Nothing is
// written outside the install folder or through a link in it. The archive may hold
// only the entry named like the file (and its fork entry): any other makes it damaged.
// 0 when this archive put `destination` in place, else an error code; on ELOOP, `link`
// (when given) names the folder on the way that is a link. `named`, when not empty, is
// what the log calls the archive when `archive` is a private copy of it.
int ENG_unpack_into_place(const std::string& archive, const std::string& destination,
                          std::string* link = nullptr, const std::string& named = std::string());

// The run's pools and the last error collected; null and empty while no run is under way.
extern UTL_worker_threads* copy_pool;
extern UTL_worker_threads* unzip_pool;
extern int install_err_num;
extern std::string install_err_msg;
extern std::string install_err_link;  // the linked folder of the last error, if that was the cause

// ---- Hooks the shell installs for the two questions --------------------------------

using select_alert_fn = int (*)(std::string path, int gone);
using abort_alert_fn = int (*)(std::string message, std::string label1, std::string text1, std::string label2,
                               std::string text2);
// Each returns the hook installed before; null removes the hook.
select_alert_fn ENG_set_select_alert_hook(select_alert_fn f);
abort_alert_fn ENG_set_abort_alert_hook(abort_alert_fn f);
