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

// The exit status with which zenity and kdialog (and a named program, which answers as
// zenity does) say that the user cancelled.
constexpr int plat_dialog_cancelled = 1;

// The chooser's argument list (program first), only of options that zenity 3.44 and
// kdialog 22.12 take for their choosers. `message` becomes the window's title; neither
// tool takes a label for a chooser's confirming button (zenity refuses --ok-label there
// and ends with 255). `start` is the folder the chooser opens in ("" leaves it to the
// tool); `proposed` the file name a save offers.
std::vector<std::string> plat_dialog_args(const plat_dialog_program& p, int kind, const std::string& message,
                                          const std::string& start, const std::string& proposed);

// How a chooser ended.
struct plat_dialog_outcome {
	int status = -1;         // its exit status; -1 when it was not started or did not exit
	int start_error = 0;     // the errno of a start that failed
	int signal = 0;          // the signal that ended it
	std::string answer;      // its standard output (at most the bytes asked for)
	std::string error_line;  // the first line of its standard error that is not blank
	bool timed_out = false;  // it ran past the time limit and was killed
};

// How often a window is served while the program waits on something else: often
// enough that the desktop never takes it for hung.
constexpr int plat_pump_interval_ms = 20;

// Runs a chooser (or another of the desktop's tools) and waits for it, calling `pump`
// (when set) about every plat_pump_interval_ms meanwhile so the caller's window stays
// alive. Keeps at most `max_answer` bytes of what the program writes. Once the program
// has ended, only what it left in its pipes is read: a helper it started that keeps them
// open does not hold the caller. With a `limit_ms` above 0, a program still running
// after that many milliseconds is killed and reaped (timed_out is set); a chooser, which
// waits for the user, has no limit.
plat_dialog_outcome plat_run_dialog(const std::vector<std::string>& args, size_t max_answer, void (*pump)(),
                                    int limit_ms = 0);

// The progress window: a zenity --progress child fed through its standard input (the
// program ignores SIGPIPE, so a window its user closed only makes the writes fail).
// Starts it on the first call; returns 0 or the errno of a start that failed. Every
// call sends `text`, then the bar: a percentage for a fraction of 0 or more, pulsing
// for a negative one, nothing for no fraction.
int plat_progress_show(const std::string& text, const float* fraction);

// Latin-1 text as UTF-8 (the program's texts are Latin-1; the desktop's tools read UTF-8).
std::string plat_latin1_to_utf8(const std::string& s);
