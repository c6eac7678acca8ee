#include "runtime/io_utils_7z.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
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

uint64_t le64(const unsigned char* p)
{
	uint64_t v = 0;
	for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
	return v;
}

// The signature header and the archive database carry CRCs that the reader does not
// insist on; a damaged header is refused here, as the archive cannot be trusted then.
int check_7z_header_crcs(int fd)
{
	static const unsigned char kSig[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
	unsigned char h[32];
	if (pread(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) return err_zip_open;
	if (std::memcmp(h, kSig, 6) != 0 || h[6] != 0) return err_zip_open;
	uint32_t start_crc = h[8] | (h[9] << 8) | (h[10] << 16) | (uint32_t(h[11]) << 24);
	if (crc32(0, h + 12, 20) != start_crc) return err_zip_open;
	uint64_t offset = le64(h + 12), size = le64(h + 20);
	uint32_t header_crc = h[28] | (h[29] << 8) | (h[30] << 16) | (uint32_t(h[31]) << 24);
	struct stat st;
	if (fstat(fd, &st) != 0) return errno;
	uint64_t file_size = static_cast<uint64_t>(st.st_size);
	if (offset > file_size || size > file_size - offset || 32 + offset + size > file_size) return err_zip_open;
	uLong crc = crc32(0, nullptr, 0);
	std::vector<unsigned char> buf(1 << 16);
	for (uint64_t done = 0; done < size;) {
		size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - done));
		ssize_t n = pread(fd, buf.data(), want, static_cast<off_t>(32 + offset + done));
		if (n <= 0) return err_zip_open;
		crc = crc32(crc, buf.data(), static_cast<uInt>(n));
		done += static_cast<uint64_t>(n);
	}
	return crc == header_crc ? 0 : err_zip_open;
}

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
	bool renaming = rename_all != 0 && out_name != nullptr;
	std::string rename_to = renaming ? *out_name : std::string();

	reader r;
	r.fd = open(archive.c_str(), O_RDONLY | O_CLOEXEC);
	if (r.fd < 0) return errno;
	if (int err = check_7z_header_crcs(r.fd)) return err;
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
