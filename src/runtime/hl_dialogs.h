#pragma once
// The installer's thin layer over the desktop's own dialogs: the folder and file
// chooser, the progress window and two byte-order routines. Everything else the
// installer shows is drawn in its own window. Main thread only.
#include <string>

// Runs the desktop's chooser: kind 0 opens a file, 1 saves one (io_path holds the
// proposed name on entry), 2 picks a folder. `default_location` is the folder it
// starts in when it exists; else it starts in the last folder that a chooser of the
// same `preference_key` answered in during this run, else where the tool likes.
// Returns 1 with the chosen path (UTF-8, no final "/", at most 2046 bytes) in io_path,
// a buffer of at least 2048 bytes; 0 when the user cancelled or the chooser failed,
// io_path untouched, except that an answer too long for the buffer leaves it empty. A
// chooser that could not be found or started, or that failed, and an answer too long,
// are a WARNING line in the log and an alert that goes on.
int GetFilePathFromUser(int kind, const std::string& message, const std::string& action_label, int preference_key,
                        const char* default_location, char* io_path);

// Shows the progress window (made on the first call) with `text` and, unless
// `fraction` is null, a bar: fraction 0..1, or pulsing when negative. 0 or an error.
int ShowProgressMessage(const char* text, float* fraction);

// A stop box with `text` and one OK button, through the window's system message box;
// returns when the user dismisses it. Without a box the text goes to standard error.
void DoUserAlert(const char* text);
// A caution box with `text`, a default button `yes_label` and a cancel button
// `no_label`: true only when the user pressed the default button (a box closed another
// way, or that could not be shown, answers false).
bool ConfirmMessage(const char* text, const char* yes_label, const char* no_label);

// Reverse the byte order of a 16-bit or 32-bit value in place; return the new value.
// The long is taken as the 32-bit value it held on the system these files come from.
short EndianFlipShort(short* v);
long EndianFlipLong(long* v);

// While a chooser is open the window keeps being served through `pump`, about every
// 20 ms; afterwards `drop_input` discards what the user did to the window meanwhile.
// The shell installs both with its window; each setter returns the hook before.
using dialog_hook_fn = void (*)();
dialog_hook_fn HL_set_dialog_pump(dialog_hook_fn f);
dialog_hook_fn HL_set_dialog_drop_input(dialog_hook_fn f);
// While the program waits on one of the desktop's tools that shows no window of its own
// (its eject), or on work in flight that a Cancel must let end (a copy from the disc),
// the window is served through this pump; the shell's drops what the user typed or
// clicked meanwhile and keeps a request to quit for the frame loop.
dialog_hook_fn HL_set_tool_pump(dialog_hook_fn f);
dialog_hook_fn HL_tool_pump();

// The longest path a chooser may give back, and the caller's buffer size.
constexpr size_t kDialogPathMax = 2046;
constexpr size_t kDialogBuffer = 2048;
// Texts handed to a system dialog are cut to this many bytes.
constexpr size_t kDialogTextMax = 255;
