#include "wizard/main_temp.h"

#include <cerrno>

#include "engine/engine_globals.h"
#include "platform/plat_dirs.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/translate.h"

namespace {
const char kNoTempLine[] = "WARNING: no private temporary folder at ";

// The quitting alert of a temporary folder that cannot be made or used: what happened,
// the error, the folder, and what the user can do. The folder follows its label after a
// colon: a '/' there would run into the folder's own first '/'.
const char* const kNoTempAlert[] = {"The installer cannot make or use its temporary folder.", "Error: ",
                                    "Temporary Folder: ",
                                    "Set TMPDIR to a folder you can write to and start the installer again."};

// The folder, or its error code with temp_path left empty.
int look_up()
{
	std::string found;
	int e = get_OS_abs_path(os_dir_temp, found);
	if (e == 0 && found.empty()) e = ENOENT;
	if (e == 0) temp_path = found;
	return e;
}
}  // namespace

int main_take_temp_folder()
{
	temp_path.clear();
	const int e = look_up();
	if (e) xer << kNoTempLine << plat_temp_dir_candidate() << ": " << error_str(e) << "\n";
	return e;
}

int main_temp_folder_ready()
{
	if (!temp_path.empty()) return 1;
	const int e = look_up();
	if (e == 0) return 1;
	__DIDIVI_alert(0, UTL_translate_string(kNoTempAlert[0]), UTL_translate_string(kNoTempAlert[1]) + error_str(e),
	               UTL_translate_string(kNoTempAlert[2]) + plat_temp_dir_candidate(),
	               UTL_translate_string(kNoTempAlert[3]), t_exit, __FILE__, __LINE__);
	return 0;
}
