#pragma once
// The desktop's own dialogs, run as child programs: the folder and file chooser
// (KESTRIX_FOLDER_DIALOG when set, else zenity, else kdialog) and zenity's progress
// window. Texts handed in are UTF-8; nothing here logs or draws.
#include <string>
#include <vector>

// What the chooser is asked for.
enum plat_dialog_kind { plat_dialog_open = 0, plat_dialog_save = 1, plat_dialog_folder = 2 };

// Which program answers.
enum plat_dialog_tool {
	plat_tool_none,     // neither zenity nor kdialog on PATH, and no program named
	plat_tool_named,    // KESTRIX_FOLDER_DIALOG: takes zenity's arguments
	plat_tool_zenity,
	plat_tool_kdialog,
};

struct plat_dialog_program {
	plat_dialog_tool tool = plat_tool_none;
	std::string path;  // the program to execute
};

// The program that answers a chooser now.
plat_dialog_program plat_find_dialog_program();

// The chooser's argument list (program first). `start` is the folder the chooser
// opens in ("" leaves it to the tool); `proposed` the file name a save offers.
std::vector<std::string> plat_dialog_args(const plat_dialog_program& p, int kind, const std::string& message,
                                          const std::string& ok_label, const std::string& start,
                                          const std::string& proposed);

// Runs a chooser and waits for it, calling `pump` (when set) about every 20 ms
// meanwhile so the caller's window stays alive. The program's standard output goes
// into `answer` (at most `max_answer` bytes kept). Returns the exit status, or -1 when
// the program could not be started or did not exit normally.
int plat_run_dialog(const std::vector<std::string>& args, std::string& answer, size_t max_answer, void (*pump)());

// The progress window: a zenity --progress child fed through its standard input (the
// program ignores SIGPIPE, so a window its user closed only makes the writes fail).
// Starts it on the first call; returns 0 or the errno of a start that failed. Every
// call sends `text`, then the bar: a percentage for a fraction of 0 or more, pulsing
// for a negative one, nothing for no fraction.
int plat_progress_show(const std::string& text, const float* fraction);

// Latin-1 text as UTF-8 (the program's texts are Latin-1; the desktop's tools read UTF-8).
std::string plat_latin1_to_utf8(const std::string& s);
