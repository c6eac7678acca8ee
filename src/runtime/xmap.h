#pragma once
// Mapped data files. Every data file the framework reads goes through xmap_class: a
// read-only map of the whole file with a read cursor, the common data-file header check
// and the text scanners. Every data file it writes is opened by ouf_open, which writes
// the same header into the global stream ouf.
//
// A file from outside the program (a disc, a download, a copy) is read whole into
// memory instead (read_whole): a mapped file that shrinks, or a page of it that cannot
// be read, ends the process with a signal when the data is touched, while a read just
// fails. Both ways give the same data, cursor and scanners.
//
// The data has no terminator: every scanner stops at `end`, so a file that fills its
// last page exactly is never read past its mapping.
#include <atomic>
#include <string>

// Header type codes.
enum { xmap_binary = 10000, xmap_text = 10001 };

// Files opened for mapping, less mappings replaced by another. Several pool threads map
// files at once, so it is counted atomically.
extern std::atomic<int> mapped_files_open;

class xmap_class {
public:
	int swap = 0;                  // 1 when the binary header began with "a": read_n_rev byte-swaps
	std::string path;              // the path the object was opened with
	int io_mode = 0;               // 0 read, 1 write; io_file_open/io_file_close only
	const char* begin = nullptr;   // start of the data; null when the file is missing or unmapped
	const char* cur = nullptr;     // the read cursor
	const char* end = nullptr;     // one past the last byte; equal to begin for an empty file
	int fd = 0;                    // the open descriptor, 0 when none

	explicit xmap_class(const std::string& path);
	// Reads the file into memory rather than mapping it, for files from outside; it is
	// read only when it is a regular file that holds, while read, the bytes its length
	// said. Otherwise begin stays null, as for a missing file.
	struct read_whole_t {};
	static constexpr read_whole_t read_whole{};
	xmap_class(const std::string& path, read_whole_t);
	~xmap_class();
	xmap_class(const xmap_class&) = delete;
	xmap_class& operator=(const xmap_class&) = delete;

	// Maps (or reads) app_path + path; returns begin (null when the file is missing,
	// unmappable or unreadable).
	const char* retry(const std::string& path);

	// Checks the data-file header against the 0-terminated list of accepted versions and,
	// when ident is given, the identifier word after it. Returns the matched version or 0;
	// on success the cursor stands on the first byte of the body.
	int check_file(int type, const int* versions, const char* ident, std::string* version_text);

	// Copies n bytes from the cursor to the address dest; reading past the end is a fatal alert.
	void read_n_rev(long dest, long n);

	// The next word (up to a blank, tab, NUL, CR or LF); the cursor stays on the delimiter.
	void TXT_str_scan_space(std::string* out);
	void TXT_str_scan_space(std::string& out) { TXT_str_scan_space(&out); }
	// The rest of the line; then every following line break and blank is skipped.
	void TXT_str_scan_eoln(std::string* out);
	void TXT_str_scan_eoln(std::string& out) { TXT_str_scan_eoln(&out); }
	// Writes the cursor's line number and text to the log.
	void TXT_xer_line();

	// A symmetric pair for reading (mode 0) or writing (mode 1) one data file.
	int io_file_open(int mode, std::string path, int* versions, int type);
	void io_file_close();

private:
	bool read_ = false;  // read_whole: the data lives in data_, not in a mapping
	std::string data_;
	void unmap();
	// Reads the open file `from`, of `size` bytes, into data_; 0 or errno (EIO when its
	// length changed while it was read).
	int read_in(int from, size_t size);
};

// Opens ouf on app_path + path and writes the data-file header. Returns 1 when ouf is
// open with the header written, 0 after the failure alert.
int ouf_open(std::string path, int type, int version, std::string copyright);
