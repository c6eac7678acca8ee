#include "runtime/hl_dialogs.h"

#include <byteswap.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "platform/plat_dialog.h"
#include "platform/plat_window.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_trace.h"
#include "runtime/io_utils.h"

namespace {
std::atomic<dialog_hook_fn> g_pump{nullptr};
std::atomic<dialog_hook_fn> g_drop_input{nullptr};

constexpr int kCancelled = 1;  // the choosers' exit status when the user cancels
constexpr char kFolderDialog[] = "folder_dialog";
constexpr char kMessageBox[] = "message_box";
constexpr char kBoxTitle[] = "Kestrix 9 Installer";
constexpr char kOkLabel[] = "OK";
constexpr int kConfirmYes = 1;
constexpr char kNoChooser[] = "WARNING: no folder dialog: neither zenity nor kdialog was found.\n";
// Reading stops a little past the longest path, so a huge answer is still seen as too long.
constexpr size_t kAnswerKeep = kDialogPathMax + 2;

std::string system_text(const std::string& s) { return plat_latin1_to_utf8(s.substr(0, kDialogTextMax)); }
}  // namespace

dialog_hook_fn HL_set_dialog_pump(dialog_hook_fn f) { return g_pump.exchange(f); }
dialog_hook_fn HL_set_dialog_drop_input(dialog_hook_fn f) { return g_drop_input.exchange(f); }

int GetFilePathFromUser(int kind, const std::string& message, const std::string& action_label, int /*preference_key*/,
                        const char* default_location, char* io_path)
{
	const plat_dialog_program program = plat_find_dialog_program();
	if (program.tool == plat_tool_none) {
		xer << kNoChooser;
		return 0;
	}
	std::string start;
	if (default_location && *default_location && dir_exists(default_location)) start = default_location;
	const std::string proposed = kind == plat_dialog_save && io_path ? io_path : "";
	UTL_trace_modal(kFolderDialog, {message, start}, {action_label});
	std::string answer;
	const int status =
	    plat_run_dialog(plat_dialog_args(program, kind, system_text(message), system_text(action_label), start, proposed),
	                    answer, kAnswerKeep, g_pump.load());
	if (dialog_hook_fn drop = g_drop_input.load()) drop();
	if (status == kCancelled || status != 0 || !io_path) return 0;
	if (!answer.empty() && answer.back() == '\n') answer.pop_back();
	if (answer.size() > 1 && answer.back() == '/') answer.pop_back();
	if (answer.empty() || answer.size() > kDialogPathMax) {
		io_path[0] = '\0';
		return 0;
	}
	std::memcpy(io_path, answer.c_str(), answer.size() + 1);
	return 1;
}

void DoUserAlert(const char* text)
{
	const std::string t = text ? std::string(text).substr(0, kDialogTextMax) : "";
	UTL_trace_modal(kMessageBox, {t}, {kOkLabel});
	if (!plat_window().message_box(kBoxTitle, system_text(t), "")) std::cerr << system_text(t) << std::endl;
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
