// The copy a scan looked at. A repair, a scenery change or an update acts on what the
// scan found, so it starts only while the copy is still that folder: one renamed,
// deleted or put back since is neither rebuilt at its old path nor asked about, and an
// unplugged disk's empty mount point is no copy.
#include <sys/stat.h>

#include <string>

#include "engine/engine.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/translate.h"

namespace {

// Who a folder is: its path, and its device and inode when a folder is there (a link
// at the path is followed, as the scan reads through it).
struct folder_identity {
	std::string path;
	bool present = false;
	dev_t dev = 0;
	ino_t ino = 0;
};

// The folder the last scan started on. Only the main thread scans and starts runs.
folder_identity g_scanned;

// The log line of a run that does not start, and its reasons.
constexpr char kNoStart[] = "The run does not start: ";
constexpr char kNoStartEnd[] = ".\n";
constexpr char kNotScanned[] = " was not scanned";
constexpr char kMissingAtScan[] = " was not there when it was scanned";
constexpr char kGone[] = " is no longer there";
constexpr char kReplaced[] = " is another folder than the one that was scanned";

// The alert; the folder goes between the first and second line.
const char* const kCopyGone[] = {"The folder of the copy of Kestrix that I scanned is no longer there:",
                                 "It was moved, renamed or deleted, or its disk was removed. I have not changed "
                                 "anything.",
                                 "Please pick the copy again."};

folder_identity identify_folder(const std::string& path)
{
	folder_identity who{path};
	struct stat st;
	if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
		who.present = true;
		who.dev = st.st_dev;
		who.ino = st.st_ino;
	}
	return who;
}

// Why a run into `now` may not start after a scan of `scanned`; null when it may.
const char* why_not(const folder_identity& scanned, const folder_identity& now)
{
	if (scanned.path != now.path) return kNotScanned;
	if (!scanned.present) return kMissingAtScan;
	if (!now.present) return kGone;
	if (scanned.dev != now.dev || scanned.ino != now.ino) return kReplaced;
	return nullptr;
}

}  // namespace

void ENG_note_scanned_copy() { g_scanned = identify_folder(dest_dir_path); }

bool ENG_scanned_copy_is_there()
{
	const char* why = why_not(g_scanned, identify_folder(dest_dir_path));
	if (!why) return true;
	xer << kNoStart << dest_dir_path << xer_own(why) << kNoStartEnd;
	__DIDIVI_alert(0, UTL_translate_string(kCopyGone[0]), STR_utf8_to_font(dest_dir_path),
	               UTL_translate_string(kCopyGone[1]), UTL_translate_string(kCopyGone[2]), t_alert, __FILE__,
	               __LINE__);
	return false;
}
