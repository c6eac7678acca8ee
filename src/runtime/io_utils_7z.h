#pragma once
// 7z archives (the global scenery travels in them): unpacking only.
#include <string>

#include "runtime/io_safe_path.h"

// Unpacks every file of the 7z archive `archive` below `out_dir` (ending in "/").
// Folder records are skipped and no folder is made; modes, dates and links are not
// restored (a link's text is written as the file's bytes). When `out_name` is not
// null it receives the full path of each file written; with `rename_all` non-zero
// every file goes to out_dir + the text `out_name` held on entry. `record`, when not
// null, directs files to temporary names and lists what was written. Returns 0, errno
// when the archive or a destination cannot be opened (an archive that is no regular
// file is refused as open_regular_file does), 20001 when the archive is not a
// readable 7z archive, the errno of the step that failed when a file cannot be written
// whole (a write, its close, its rename), or the reader's own negative result for
// damaged data.
int p7z_to_file(std::string archive, std::string out_dir, std::string* out_name, int rename_all,
                unpack_record* record = nullptr);
