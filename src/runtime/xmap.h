#pragma once
// Mapped data files. Every data file the framework reads goes through xmap_class: a
// read-only map of the whole file with a read cursor, the common data-file header check
// and the text scanners. Every data file it writes is opened by ouf_open, which writes
// the same header into the global stream ouf.
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
	// For readers that must never alert (the digest on pool threads): a path the mapper
	// would refuse, or a mapping refused for lack of memory, just leaves begin null.
	struct no_alerts_t {};
	static constexpr no_alerts_t no_alerts{};
	xmap_class(const std::string& path, no_alerts_t);
	~xmap_class();
	xmap_class(const xmap_class&) = delete;
	xmap_class& operator=(const xmap_class&) = delete;

	// Maps app_path + path; returns begin (null when the file is missing or unmappable).
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
	bool quiet_ = false;
	void unmap();
};

// Opens ouf on app_path + path and writes the data-file header. Returns 1 when ouf is
// open with the header written, 0 after the failure alert.
int ouf_open(std::string path, int type, int version, std::string copyright);
