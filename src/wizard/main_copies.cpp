#include "wizard/main_copies.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>

#include "engine/engine_globals.h"
#include "engine/new_copy_folder.h"
#include "graphics/ogl_draw.h"
#include "graphics/oglp.h"
#include "runtime/hl_dialogs.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/hl_alert.h"
#include "runtime/io_utils.h"
#include "runtime/translate.h"
#include "wizard/main_globals.h"
#include "widgets/btn.h"

const char* const kRegistrationFile = "kestrix_install.txt";

namespace {
// The reader's line buffer holds a line and its terminating zero.
constexpr size_t kLineBuffer = kRegistrationLineMax + 1;
constexpr char kNoPrefsWarning[] = "WARNING: registration of this orvala folder failed!\n";
// The line after it: why, since the unregistered copy's alert sends the user to the log.
constexpr char kNoPrefsReason[] = "The preferences folder could not be used: ";
constexpr char kAppendWarning[] = "WARNING: could not append registration file: ";
// Between the file and the reason of the append warning: the alert sends the user there.
constexpr char kWarningReason[] = ": ";
constexpr char kUnfitWarning[] = "WARNING: a registration line cannot hold the folder ";
// The four folders every installed copy holds, matched as parts of entry names.
const char* const kCopyFolders[] = {"Airfoils", "Instructions", "Output", "Resources"};
constexpr int kFolderType = 1;  // opensave_getitems' type of a folder
constexpr int kListAll = 0;     // opensave_getitems' filter that takes every entry

// The alert for a chosen folder with no copy on its way to the root; the chosen path
// goes between the first and second line.
const char* const kNotACopy[] = {"You selected the folder path:",
                                 "But it does not appear to be an installed copy of Kestrix 9.",
                                 "Please be sure to select the folder that contains the Kestrix application."};

// The alert for a cancelled run whose new copy could not be taken back whole; the
// copy's folder goes between the first and second line.
const char* const kLeftBehind[] = {
    "I could not take back all of the cancelled installation. Some of its files are still in the folder:",
    "The installer's log on your desktop names each file that stayed and why."};

// The alert for a new copy that could not be written into the registration file; the
// copy's folder goes between the first and second line.
const char* const kUnregistered[] = {
    "Kestrix 9 was installed in the folder:",
    "But I could not add it to my list of installed copies, so the next time the installer starts it will not "
    "offer this copy. The installer's log on your desktop says why."};

constexpr int kTextColour = 45;
constexpr int kAlignLeft = 0;
constexpr int kRadio = 1;
constexpr int kButtonFeedback = 1;
constexpr char kNoSideText[] = "-";
constexpr int kFolderDialog = 2;
constexpr int kDialogSettings = 1;  // every chooser of the installer shares one
constexpr char kMoreThanOne[] = "You have more than one copy of Kestrix 9 installed on this computer.  ";
constexpr char kMissingQuestion[] = "Is the copy of Kestrix 9 you're looking for missing from this list?";
constexpr char kFindIt[] = "Find It";
constexpr char kFindPrompt[] = "Please select your Kestrix 9 folder.";
constexpr char kSelect[] = "Select";

float row_y(size_t i) { return pick_row_top - pick_row_step * float(i); }

// The folder above `folder` (which ends in "/"), ending in "/"; "" above the root.
std::string parent_folder(const std::string& folder)
{
	if (folder.size() <= 1) return "";
	const size_t slash = folder.rfind('/', folder.size() - 2);
	return slash == std::string::npos ? "" : folder.substr(0, slash + 1);
}

bool is_line_end(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// The registration file's path, or "" (after the log's warning) with no preferences folder.
std::string registration_path()
{
	std::string prefs;
	const int e = get_OS_abs_path(os_dir_prefs, prefs);
	if (e != 0 || prefs.empty()) {
		xer << kNoPrefsWarning << kNoPrefsReason << error_str(e != 0 ? e : ENOENT) << "\n";
		return "";
	}
	return prefs + kRegistrationFile;
}

// The file's bytes: 0, or the error that kept them. The file lies in the user's folder
// like any other: only a regular file is read, and a FIFO, a device or a folder in its
// place is refused at once instead of holding the start on its open.
int read_whole(const std::string& path, std::string& out)
{
	out.clear();
	int fd = -1;
	if (const int e = open_regular_file(path, &fd)) return e;
	std::FILE* f = fdopen(fd, "rb");
	if (!f) {
		const int e = errno;
		close(fd);
		return e;
	}
	char buf[kLineBuffer];
	size_t n;
	while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
	const int e = std::ferror(f) ? EIO : 0;
	std::fclose(f);
	return e;
}
}  // namespace

std::vector<std::string> UTIL_registration_lines(const std::string& bytes)
{
	std::vector<std::string> lines;
	size_t i = 0;
	while (i < bytes.size()) {
		size_t end = i;
		while (end < bytes.size() && !is_line_end(bytes[end])) ++end;
		for (size_t at = i; at < end; at += kLineBuffer - 1)
			lines.push_back(bytes.substr(at, std::min(kLineBuffer - 1, end - at)));
		i = end + 1;
	}
	return lines;
}

std::string UTIL_registration_append(const std::string& bytes, const std::string& path)
{
	for (const std::string& line : UTIL_registration_lines(bytes))
		if (line == path) return "";
	const bool open_line = !bytes.empty() && !is_line_end(bytes.back());
	return (open_line ? "\n" : "") + path + "\n";
}

void locate_all_kestrixes()
{
	all_orvalas.clear();
	const std::string file = registration_path();
	std::string bytes;
	if (file.empty() || read_whole(file, bytes) != 0) return;
	for (const std::string& line : UTIL_registration_lines(bytes)) {
		const std::string copy = UTIL_copy_at(line);
		if (!copy.empty()) all_orvalas.push_back(copy);
	}
}

bool UTIL_registration_can_hold(const std::string& path)
{
	return path.size() <= kRegistrationLineMax && path.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool register_new_kestrix()
{
	const std::string file = registration_path();
	if (file.empty()) return false;
	// Written anyway, such a path would come back as lines that are no copy, and the copy
	// would be forgotten.
	if (!UTIL_registration_can_hold(dest_dir_path)) {
		xer << kUnfitWarning << dest_dir_path << "\n";
		return false;
	}
	std::string bytes;
	const int read_error = read_whole(file, bytes);
	if (read_error != 0 && read_error != ENOENT) {
		xer << kAppendWarning << file << kWarningReason << error_str(read_error) << "\n";
		return false;
	}
	const std::string add = UTIL_registration_append(bytes, dest_dir_path);
	if (add.empty()) return true;
	int fd = -1;
	int err = open_regular_file_as(file, O_WRONLY | O_APPEND | O_CREAT, &fd);
	std::FILE* f = nullptr;
	if (!err && !(f = fdopen(fd, "ab"))) {
		err = errno;
		close(fd);
	}
	if (f) {
		// The buffered bytes may reach the disk only at the close: a full disk says so there.
		errno = 0;
		if (std::fwrite(add.data(), 1, add.size(), f) != add.size()) err = errno ? errno : EIO;
		errno = 0;
		if (std::fclose(f) != 0 && !err) err = errno ? errno : EIO;
	}
	if (err) xer << kAppendWarning << file << kWarningReason << error_str(err) << "\n";
	return err == 0;
}

void UTIL_tell_unregistered(const std::string& copy)
{
	__DIDIVI_alert(0, UTL_translate_string(kUnregistered[0]), STR_utf8_to_font(copy),
	               UTL_translate_string(kUnregistered[1]), "", t_alert, __FILE__, __LINE__);
}

int path_is_to_a_sim() { return UTIL_folder_is_a_sim(dest_dir_path); }

int UTIL_folder_is_a_sim(const std::string& folder)
{
	std::vector<std::string> names;
	std::vector<int> types;
	opensave_getitems(folder, kListAll, names, types);
	bool found[std::size(kCopyFolders)] = {};
	for (size_t i = 0; i < names.size(); ++i) {
		if (types[i] != kFolderType) continue;
		for (size_t k = 0; k < std::size(kCopyFolders); ++k)
			if (names[i].find(kCopyFolders[k]) != std::string::npos) found[k] = true;
	}
	if (names.empty()) return 0;
	for (bool f : found)
		if (!f) return 0;
	return 1;
}

std::string UTIL_copy_at(const std::string& line)
{
	if (line.empty() || line.front() != '/') return "";
	const std::string folder = line.back() == '/' ? line : line + '/';
	return UTIL_folder_is_a_sim(folder) ? folder : "";
}

bool UTIL_is_registered(const std::string& folder)
{
	return std::find(all_orvalas.begin(), all_orvalas.end(), folder) != all_orvalas.end();
}

std::string UTIL_pick_text(const std::string& question)
{
	return (all_orvalas.size() > 1 ? UTL_translate_string(kMoreThanOne) : std::string()) + question;
}

int UTIL_find_copy(const std::string& chosen)
{
	const std::string remembered = dest_dir_path;
	std::string candidate = chosen;
	if (candidate != "/") candidate += "/";
	while (!candidate.empty()) {
		dest_dir_path = candidate;
		if (path_is_to_a_sim()) {
			register_new_kestrix();
			locate_all_kestrixes();
			return 1;
		}
		const std::string up = parent_folder(candidate);
		if (up == candidate) break;
		candidate = up;
	}
	dest_dir_path = remembered;
	__DIDIVI_alert(0, UTL_translate_string(kNotACopy[0]), STR_utf8_to_font(chosen), UTL_translate_string(kNotACopy[1]),
	               UTL_translate_string(kNotACopy[2]), t_alert, __FILE__, __LINE__);
	return 0;
}

void UTIL_take_back_new_copy()
{
	const std::string folder = dest_dir_path;
	int left = 0;
	ENG_take_back_new_copy(&left);
	if (left == 0) return;
	__DIDIVI_alert(0, UTL_translate_string(kLeftBehind[0]), STR_utf8_to_font(folder),
	               UTL_translate_string(kLeftBehind[1]), "", t_alert, __FILE__, __LINE__);
}

std::string UTIL_pick_install()
{
	for (size_t i = 0; i < all_orvalas.size(); ++i) {
		const std::string copy = all_orvalas[i];
		const std::string shown = OGL_fit_rows(STR_utf8_to_font(copy), {}, pick_path_wrap, pick_path_wrap, pick_path_rows);
		OGL_string_rows(kTextColour, pick_path_x, row_y(i), OGL_rows_within(shown, pick_path_wrap, pick_path_wrap),
		                charset_UI_diff_space, kAlignLeft);
		int on = dest_dir_path == copy ? 1 : 0;
		// A click on the chosen copy keeps it chosen.
		if (BTN_bool(pick_radio_x, row_y(i), &on, "", kRadio)) dest_dir_path = copy;
	}
	const float below = row_y(all_orvalas.size());
	OGL_string(kTextColour, pick_question_x, below, UTL_translate_string(kMissingQuestion), pick_question_wrap,
	           charset_UI_diff_space, kAlignLeft);
	if (BTN_action(pick_find_x, below + pick_find_rise, pick_find_width, 0, kButtonFeedback,
	               UTL_translate_string(kFindIt), kNoSideText)) {
		char chosen[kDialogBuffer] = {};
		dest_dir_path.copy(chosen, kDialogBuffer - 1);
		if (GetFilePathFromUser(kFolderDialog, UTL_translate_string(kFindPrompt), UTL_translate_string(kSelect),
		                        kDialogSettings, dest_dir_path.c_str(), chosen))
			UTIL_find_copy(chosen);
	}
	return dest_dir_path;
}
