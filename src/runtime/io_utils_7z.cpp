#include "runtime/io_utils_7z.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "runtime/hl_errors.h"

namespace {

// Owns the reader and the archive's descriptor for one call.
struct reader {
	struct archive* a = nullptr;
	int fd = -1;
	~reader()
	{
		if (a) archive_read_free(a);
		if (fd >= 0) close(fd);
	}
};

// One file of the archive, written through a private file next to `written`.
int write_one(struct archive* a, archive_entry* e, const std::string& written)
{
	unpack_file out;
	int err = out.open(written);
	if (err) return err;
	if (archive_entry_filetype(e) == AE_IFLNK) {
		// Links are not restored: like any other file, the entry's bytes (its text) are written.
		const char* t = archive_entry_symlink(e);
		std::string text = t ? t : "";
		if (out.write(text.data(), text.size()) != 0) return err_zip_write;
	} else {
		std::vector<char> buf(1 << 16);
		for (;;) {
			la_ssize_t n = archive_read_data(a, buf.data(), buf.size());
			if (n < 0) return static_cast<int>(n);  // damaged data, CRC mismatch
			if (n == 0) break;
			if (out.write(buf.data(), static_cast<size_t>(n)) != 0) return err_zip_write;
		}
	}
	if (out.close() != 0) return err_zip_write;
	return out.commit();
}

}  // namespace

int p7z_to_file(std::string archive, std::string out_dir, std::string* out_name, int rename_all,
                unpack_record* record)
{
	if (record && record->temp_suffix.find_first_of(std::string("/\0", 2)) != std::string::npos) return EINVAL;
	bool renaming = rename_all != 0 && out_name != nullptr;
	std::string rename_to = renaming ? *out_name : std::string();

	reader r;
	r.fd = open(archive.c_str(), O_RDONLY | O_CLOEXEC);
	if (r.fd < 0) return errno;
	r.a = archive_read_new();
	if (!r.a) return ENOMEM;
	archive_read_support_format_7zip(r.a);
	if (archive_read_open_fd(r.a, r.fd, 1 << 16) != ARCHIVE_OK) return err_zip_open;

	for (bool first = true;; first = false) {
		archive_entry* e = nullptr;
		int h = archive_read_next_header(r.a, &e);
		if (h == ARCHIVE_EOF) return 0;
		// The first header read takes in the archive's whole database: failing there
		// means the file cannot be opened as a 7z archive.
		if (h < ARCHIVE_WARN) return first ? err_zip_open : h;
		if (archive_entry_filetype(e) == AE_IFDIR) continue;

		const char* utf8 = archive_entry_pathname_utf8(e);
		if (!utf8) utf8 = archive_entry_pathname(e);
		std::string rel = renaming ? rename_to : std::string(utf8 ? utf8 : "");
		int err = check_entry_name(out_dir, rel);
		if (err) return err;
		std::string dest = out_dir + rel;
		if (out_name) *out_name = dest;
		std::string written = record ? record->written_path(dest) : dest;
		err = write_one(r.a, e, written);
		if (err) return err;
		if (record) record->items.push_back({dest, written});
	}
}
