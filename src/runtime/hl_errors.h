#pragma once
// Error codes of the file, archive, digest and network helpers: 0 is success, own
// codes start at 20001, positive small values are the platform's errno values and
// negative values are the old system's error codes.
#include <string>

enum kx_err_code {
	err_zip_open = 20001,          // unable to open a zip file
	err_zip_read = 20002,          // unable to read from a zip file
	err_zip_create = 20003,        // unable to create a zip file
	err_zip_write = 20004,         // unable to write to a zip file
	err_zip_rsrc_too_big = 20005,  // resource fork of 2 GB or more
	err_file_open_read = 20006,    // could not open a file to read from it
	err_net_reconnect = 20007,
	err_net_bad_state = 20008,
	err_net_alloc = 20009,
	err_net_write_disk = 20010,
	err_net_no_server = 20011,
	err_zip_rsrc_header = 20012,   // AppleDouble entry with a bad header
	err_not_mz = 20013,            // no row: reads as unknown
	err_not_pe = 20014             // no row: reads as unknown
};

// The sentence for any code: its row's text; for an errno without a row the system's
// own description; for any other code "Unknown error occurred (%d)".
std::string error_str(int code);
// Whether a failed delete deserves an alert: never, in this program.
int show_del_err(int code);
// Whether a failed folder creation deserves an alert: not for 0, "exists" and "duplicate name".
int show_make_dir_err(int code);
