#include "runtime/hl_errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
struct err_row {
	int code;
	const char* text;
};

// Own codes, then the platform's errno values (by name: their numbers differ between
// systems), then the old system's codes. Texts are shown to the user as they stand.
const err_row kErrMsgs[] = {
	{20001, "We were unable to open a zip file. It may be missing or damaged"},
	{20002, "We were unable to read from a zip file. It may be missing or damaged"},
	{20003, "We were unable to create a zip file"},
	{20004, "We were unable to write to a zip file. It may be missing or damaged"},
	{20005, "We cannot compress a zip file because its source file resource fork is more than 2 GB. The source file is probably damaged"},
	{20006, "We could not open a file to read from it"},
	{20007, "We were unable to connct to the network due to an internal reconnect error"},
	{20008, "We wre unable to connect to the network due to a bad state error"},
	{20009, "We could not allocate a connection to the network"},
	{20010, "We could not write the incoming file from the web to disk"},
	{20011, "We could not find the server over the network"},
	{20012, "Part of the downloaded zip file is corrupted (the resource fork header is bad)"},

	{EAGAIN, "Resource temporarily unavailable"},
	{EDEADLK, "Resource deadlock avoided"},
	{ENAMETOOLONG, "File name too long"},
	{ENOSYS, "Function not implemented"},
	{ENOTEMPTY, "Directory not empty"},
	{EILSEQ, "Wide character encoding error"},
	{E2BIG, "Argument list too long"},
	{EACCES, "Permission denied. Perhaps you do not have access to a directory or file system"},
	{EBADF, "Bad file descriptor"},
	{EBUSY, "Device busy"},
	{ECHILD, "No child processes"},
	{EDOM, "Numerical argument out of domain"},
	{EEXIST, "File exists"},
	{EFAULT, "Bad address"},
	{EFBIG, "File too large"},
	{EINTR, "Interrupted system call"},
	{EINVAL, "Invalid argument"},
	{EIO, "Input/output error"},
	{EISDIR, "Is a directory"},
	{EMFILE, "Too many open files"},
	{EMLINK, "Too many links"},
	{ENFILE, "Too many open files in system"},
	{ENODEV, "Operation not supported by device"},
	{ENOENT, "No such file or directory"},
	{ENOEXEC, "Exec format error"},
	{ENOLCK, "No locks available"},
	{ENOMEM, "Out of memory"},
	{ENOSPC, "No space left on device. Perhaps your hard drive is full"},
	{ENOTDIR, "Not a directory"},
	{ENOTTY, "Inappropriate ioctl for device"},
	{ENXIO, "Device not configured"},
	{EPERM, "Operation not permitted. Perhaps you do not have access to a directory or file system"},
	{EPIPE, "Broken pipe"},
	{ERANGE, "Result too large"},
	{EROFS, "The destination file system is read-only"},
	{ESPIPE, "Illegal seek"},
	{ESRCH, "No such process"},
	{EXDEV, "Cross-device link"},

	{-43, "File not found"},
	{-50, "param err"},
	{-33, "Directory is full"},
	{-34, "The disk is full"},
	{-35, "no such volume"},
	{-36, "An internal I/O error occurred"},
	{-37, "bad name"},
	{-38, "file not open"},
	{-39, "end of file"},
	{-40, "position error"},
	{-41, "Memory is full"},
	{-42, "Too many files open"},
	{-44, "A disk is write protected"},
	{-45, "File locked"},
	{-46, "Hard disk is locked"},
	{-47, "A file is in use by another application"},
	{-48, "duplicate file name"},
	{-49, "File already open with write permissions by another application"},
	{-51, "refnum error"},
	{-52, "get file position error"},
	{-53, "A needed volume is offline"},
	{-54, "Permissions error - perhaps you do not have access to a directory"},
	{-56, "no such drive"},
	{-57, "Not a macintosh disk"},
	{-60, "bad master directory block"},
	{-61, "Write permissions error - perhaps you do not have enough access to a directory"},
	{-120, "directory not found"},
	{-108, "Out of memory (memory is full)"},
	{-5000, "You have insufficient privileges for this operation"},
	{0, nullptr},
};
}  // namespace

std::string error_str(int code)
{
	for (const err_row* r = kErrMsgs; r->text; ++r)
		if (r->code == code) return r->text;
	// An errno the table lacks (a network drive's ENOTCONN, exFAT's EOPNOTSUPP) still
	// says what went wrong, in the system's words. The description comes from glibc's
	// own table, shared and never written, so worker tasks may ask at the same time;
	// it is null for a number the system does not know.
	if (code > 0)
		if (const char* text = strerrordesc_np(code)) return text;
	// Formatted into a local buffer: worker tasks may ask for texts at the same time.
	char buf[256];
	std::snprintf(buf, sizeof buf, "Unknown error occurred (%d)", code);
	return buf;
}

int show_del_err(int) { return 0; }

int show_make_dir_err(int code) { return (code == 0 || code == EEXIST || code == -48) ? 0 : 1; }
