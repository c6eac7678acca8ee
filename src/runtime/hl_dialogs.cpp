#include "runtime/hl_dialogs.h"

#include <byteswap.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>

#include "platform/plat_dialog.h"
#include "platform/plat_window.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_trace.h"
#include "runtime/io_utils.h"
#include "runtime/translate.h"

namespace {
std::atomic<dialog_hook_fn> g_pump{nullptr};
std::atomic<dialog_hook_fn> g_drop_input{nullptr};
std::atomic<dialog_hook_fn> g_tool_pump{nullptr};

constexpr char kFolderDialog[] = "folder_dialog";
constexpr char kMessageBox[] = "message_box";
constexpr char kBoxTitle[] = "Kestrix 9 Installer";
constexpr char kOkLabel[] = "OK";
constexpr int kConfirmYes = 1;
// Reading stops a little past the longest path, so a huge answer is still seen as too long.
constexpr size_t kAnswerKeep = kDialogPathMax + 2;

// A chooser that could not be opened: one line in the log, one alert to the user.
constexpr char kNoChooser[] = "WARNING: no folder dialog: neither zenity nor kdialog was found.\n";
constexpr char kChooserWarning[] = "WARNING: the folder dialog ";
constexpr char kNotStarted[] = " could not be started: ";
constexpr char kEndedBySignal[] = " was ended by signal ";
constexpr char kFailedWithStatus[] = " failed with status ";
constexpr char kChooserFailed[] = "The folder chooser could not be opened.";
// A chosen path longer than the installer's path buffers: said, never taken for a cancel.
// The longest path goes between the two pieces.
constexpr char kAnswerTooLongWarning[] = "WARNING: the folder dialog answered a path longer than ";
constexpr char kAnswerTooLongBytes[] = " bytes, more than the installer can hold.\n";
const char* const kAnswerTooLong[] = {"The chosen folder's path is too long for the installer: it may hold at most ",
                                      " bytes. Please choose a folder with a shorter path."};

std::string system_text(const std::string& s) { return plat_latin1_to_utf8(s.substr(0, kDialogTextMax)); }

// The last folder a chooser of each preference key showed an answer in, for this run.
std::map<int, std::string> g_last_folder;

void remember_folder(int preference_key, int kind, const std::string& chosen)
{
	if (kind == plat_dialog_folder) {
		g_last_folder[preference_key] = chosen;
		return;
	}
	const size_t slash = chosen.rfind('/');
	if (slash != std::string::npos) g_last_folder[preference_key] = chosen.substr(0, slash + 1);
}

// Where a chooser opens: the caller's folder, else the one remembered for its key, else
// the tool's choice.
std::string start_folder(int preference_key, const char* default_location)
{
	if (default_location && *default_location && dir_exists(default_location)) return default_location;
	const auto it = g_last_folder.find(preference_key);
	if (it != g_last_folder.end() && dir_exists(it->second)) return it->second;
	return "";
}

// The log line and the alert for a chooser that was not found, not started or that
// ended otherwise than with an answer or a cancel.
void report_chooser_failure(const plat_dialog_program& program, const plat_dialog_outcome* o)
{
	const std::string said = o && !o->error_line.empty() ? ": " + o->error_line : "";
	if (!o) {
		xer << kNoChooser;
	} else if (o->start_error) {
		xer << kChooserWarning << program.path << kNotStarted << std::strerror(o->start_error) << "\n";
	} else if (o->signal) {
		xer << kChooserWarning << program.path << kEndedBySignal << o->signal << said << "\n";
	} else {
		xer << kChooserWarning << program.path << kFailedWithStatus << o->status << said << "\n";
	}
	__DIDIVI_alert(0, UTL_translate_string(kChooserFailed), program.path, "", "", t_alert, __FILE__, __LINE__);
}
}  // namespace

dialog_hook_fn HL_set_dialog_pump(dialog_hook_fn f) { return g_pump.exchange(f); }
dialog_hook_fn HL_set_dialog_drop_input(dialog_hook_fn f) { return g_drop_input.exchange(f); }
dialog_hook_fn HL_set_tool_pump(dialog_hook_fn f) { return g_tool_pump.exchange(f); }
dialog_hook_fn HL_tool_pump() { return g_tool_pump.load(); }

int GetFilePathFromUser(int kind, const std::string& message, const std::string& action_label, int preference_key,
                        const char* default_location, char* io_path)
{
	const plat_dialog_program program = plat_find_dialog_program();
	if (program.tool == plat_tool_none) {
		report_chooser_failure(program, nullptr);
		return 0;
	}
	const std::string start = start_folder(preference_key, default_location);
	const std::string proposed = kind == plat_dialog_save && io_path ? io_path : "";
	UTL_trace_modal(kFolderDialog, {message, start}, {action_label});
	const plat_dialog_outcome o =
	    plat_run_dialog(plat_dialog_args(program, kind, system_text(message), start, proposed), kAnswerKeep, g_pump.load());
	if (dialog_hook_fn drop = g_drop_input.load()) drop();
	if (o.status == plat_dialog_cancelled) return 0;
	if (o.status != 0) {
		report_chooser_failure(program, &o);
		return 0;
	}
	if (!io_path) return 0;
	std::string answer = o.answer;
	if (!answer.empty() && answer.back() == '\n') answer.pop_back();
	if (answer.size() > 1 && answer.back() == '/') answer.pop_back();
	if (answer.empty()) return 0;
	if (answer.size() > kDialogPathMax) {
		io_path[0] = '\0';
		xer << kAnswerTooLongWarning << kDialogPathMax << kAnswerTooLongBytes;
		__DIDIVI_alert(0,
		               UTL_translate_string(kAnswerTooLong[0]) + std::to_string(kDialogPathMax) +
		                   UTL_translate_string(kAnswerTooLong[1]),
		               "", "", "", t_alert, __FILE__, __LINE__);
		return 0;
	}
	std::memcpy(io_path, answer.c_str(), answer.size() + 1);
	remember_folder(preference_key, kind, answer);
	return 1;
}

void DoUserAlert(const char* text)
{
	const std::string t = text ? std::string(text).substr(0, kDialogTextMax) : "";
	UTL_trace_modal(kMessageBox, {t}, {kOkLabel});
	if (!plat_window().message_box(kBoxTitle, system_text(t), "")) std::cerr << xer_escaped(system_text(t)) << std::endl;
}

bool ConfirmMessage(const char* text, const char* yes_label, const char* no_label)
{
	const std::string t = text ? std::string(text).substr(0, kDialogTextMax) : "";
	const std::string yes = yes_label ? std::string(yes_label).substr(0, kDialogTextMax) : "";
	const std::string no = no_label ? std::string(no_label).substr(0, kDialogTextMax) : "";
	UTL_trace_modal(kMessageBox, {t}, {yes, no});
	return plat_window().confirm_box(kBoxTitle, system_text(t), system_text(yes), system_text(no)) == kConfirmYes;
}

int ShowProgressMessage(const char* text, float* fraction)
{
	return plat_progress_show(system_text(text ? text : ""), fraction);
}

short EndianFlipShort(short* v)
{
	*v = static_cast<short>(bswap_16(static_cast<uint16_t>(*v)));
	return *v;
}

long EndianFlipLong(long* v)
{
	*v = static_cast<int32_t>(bswap_32(static_cast<uint32_t>(*v)));
	return *v;
}
