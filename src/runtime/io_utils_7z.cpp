#include "runtime/io_utils_7z.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/hl_errors.h"
#include "runtime/io_utils.h"

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

int check_7z_memory(int fd, uint64_t header_offset, uint64_t header_size);

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
	if (crc != header_crc) return err_zip_open;
	return check_7z_memory(fd, offset, size);
}

// ---- The reader's memory bound ---------------------------------------------------
// A 7z archive names the memory its decoders need (an LZMA dictionary, a PPMd model),
// and the reader allocates what it names: a forged 203-byte archive could demand
// 4 GB. Before the reader sees an archive its coders are looked at here, and none may
// ask for more than this (7-Zip's largest preset uses a 64 MiB dictionary).
constexpr uint64_t kMax7zDecoderMemory = 64ull << 20;
// A packed header is unpacked here to be looked at; no real header comes near this.
constexpr uint64_t kMax7zHeaderBytes = 16ull << 20;

// Property and coder ids of the 7z format.
enum : uint8_t {
	k7zEnd = 0x00,
	k7zHeader = 0x01,
	k7zArchiveProperties = 0x02,
	k7zAdditionalStreamsInfo = 0x03,
	k7zMainStreamsInfo = 0x04,
	k7zPackInfo = 0x06,
	k7zUnpackInfo = 0x07,
	k7zSubStreamsInfo = 0x08,
	k7zSize = 0x09,
	k7zCrc = 0x0A,
	k7zFolder = 0x0B,
	k7zCodersUnpackSize = 0x0C,
	k7zEncodedHeader = 0x17,
};
const unsigned char kCoderLzma[] = {0x03, 0x01, 0x01};
const unsigned char kCoderLzma2[] = {0x21};
const unsigned char kCoderPpmd[] = {0x03, 0x04, 0x01};
const unsigned char kCoderCopy[] = {0x00};
constexpr size_t kLzmaPropsSize = 5;
constexpr unsigned kLzma2LargestDict = 40;

// Reads the header's bytes; any read past the end leaves `ok` false.
struct header_reader {
	const unsigned char* p;
	const unsigned char* end;
	bool ok = true;

	uint8_t byte()
	{
		if (p >= end) {
			ok = false;
			return 0;
		}
		return *p++;
	}
	// The format's variable-length number: the leading one bits of the first byte
	// count the bytes that follow.
	uint64_t number()
	{
		const uint8_t first = byte();
		uint8_t mask = 0x80;
		uint64_t value = 0;
		for (int i = 0; i < 8; ++i) {
			if ((first & mask) == 0) return value | (uint64_t(first & (mask - 1)) << (8 * i));
			value |= uint64_t(byte()) << (8 * i);
			mask >>= 1;
		}
		return value;
	}
	const unsigned char* take(uint64_t n)
	{
		if (!ok || n > uint64_t(end - p)) {
			ok = false;
			return nullptr;
		}
		const unsigned char* at = p;
		p += n;
		return at;
	}
	void skip_digests(uint64_t count)
	{
		const uint8_t all_defined = byte();
		uint64_t defined = count;
		if (!all_defined) {
			defined = 0;
			const unsigned char* bits = take((count + 7) / 8);
			for (uint64_t i = 0; bits && i < count; ++i) defined += (bits[i / 8] >> (7 - i % 8)) & 1;
		}
		if (defined > uint64_t(end - p) / 4) ok = false;
		take(4 * defined);
	}
};

// One coder of a folder as the header names it.
struct coder_info {
	const unsigned char* id = nullptr;
	size_t id_size = 0;
	const unsigned char* props = nullptr;
	size_t props_size = 0;
	bool is(const unsigned char* want, size_t n) const { return id_size == n && std::memcmp(id, want, n) == 0; }
};

struct folder_info {
	std::vector<coder_info> coders;
	uint64_t unpack_size = 0;  // of the folder's last output stream
};

struct streams_info {
	uint64_t pack_pos = 0;
	std::vector<uint64_t> pack_sizes;
	std::vector<folder_info> folders;
};

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

// What a coder asks to allocate beyond a fixed small amount; unknown coders ask for
// nothing here (the reader refuses what it cannot decode).
uint64_t coder_memory(const coder_info& c)
{
	if ((c.is(kCoderLzma, sizeof kCoderLzma) || c.is(kCoderPpmd, sizeof kCoderPpmd)) && c.props_size >= kLzmaPropsSize)
		return le32(c.props + 1);  // the dictionary, or the PPMd model's size
	if (c.is(kCoderLzma2, sizeof kCoderLzma2) && c.props_size >= 1) {
		const unsigned b = c.props[0];
		if (b > kLzma2LargestDict) return UINT64_MAX;
		if (b == kLzma2LargestDict) return 0xFFFFFFFFull;
		return uint64_t(2 | (b & 1)) << (b / 2 + 11);
	}
	return 0;
}

bool read_folder(header_reader& r, folder_info* f, uint64_t* outs)
{
	const uint64_t coders = r.number();
	if (coders == 0 || coders > 64) return false;
	uint64_t total_in = 0, total_out = 0;
	for (uint64_t i = 0; i < coders && r.ok; ++i) {
		const uint8_t flags = r.byte();
		if (flags & 0xC0) return false;  // alternative methods: never written by any tool
		coder_info c;
		c.id_size = flags & 0x0F;
		c.id = r.take(c.id_size);
		const bool complex = flags & 0x10;
		const uint64_t ins = complex ? r.number() : 1, outs_here = complex ? r.number() : 1;
		if (ins > 64 || outs_here > 64) return false;
		total_in += ins;
		total_out += outs_here;
		if (flags & 0x20) {
			c.props_size = static_cast<size_t>(r.number());
			c.props = r.take(c.props_size);
		}
		f->coders.push_back(c);
	}
	if (total_out == 0 || total_in + 1 < total_out) return false;
	for (uint64_t i = 0; i + 1 < total_out; ++i) {
		r.number();
		r.number();
	}
	const uint64_t packed = total_in - (total_out - 1);
	if (packed > 1)
		for (uint64_t i = 0; i < packed; ++i) r.number();
	*outs = total_out;
	return r.ok;
}

bool read_streams_info(header_reader& r, streams_info* si)
{
	for (uint8_t id = r.byte(); r.ok && id != k7zEnd; id = r.byte()) {
		if (id == k7zPackInfo) {
			si->pack_pos = r.number();
			const uint64_t n = r.number();
			if (n > uint64_t(r.end - r.p)) return false;
			for (uint8_t pid = r.byte(); r.ok && pid != k7zEnd; pid = r.byte()) {
				if (pid == k7zSize)
					for (uint64_t i = 0; i < n; ++i) si->pack_sizes.push_back(r.number());
				else if (pid == k7zCrc)
					r.skip_digests(n);
				else
					return false;
			}
		} else if (id == k7zUnpackInfo) {
			if (r.byte() != k7zFolder) return false;
			const uint64_t n = r.number();
			if (n > uint64_t(r.end - r.p) || r.byte() != 0) return false;  // folders kept elsewhere: unknown
			std::vector<uint64_t> outs(n);
			si->folders.resize(n);
			for (uint64_t i = 0; i < n; ++i)
				if (!read_folder(r, &si->folders[i], &outs[i])) return false;
			if (r.byte() != k7zCodersUnpackSize) return false;
			for (uint64_t i = 0; i < n; ++i)
				for (uint64_t k = 0; k < outs[i]; ++k) si->folders[i].unpack_size = r.number();
			for (uint8_t pid = r.byte(); r.ok && pid != k7zEnd; pid = r.byte()) {
				if (pid != k7zCrc) return false;
				r.skip_digests(n);
			}
		} else if (id == k7zSubStreamsInfo) {
			// Sizes and digests of the files: nothing the bound looks at, and last.
			return true;
		} else {
			return false;
		}
	}
	return r.ok;
}

bool within_bound(const streams_info& si)
{
	for (const folder_info& f : si.folders)
		for (const coder_info& c : f.coders)
			if (coder_memory(c) > kMax7zDecoderMemory) return false;
	return true;
}

// Unpacks the packed header (one LZMA, LZMA2 or copy coder, as every writer makes it).
bool unpack_header(int fd, const streams_info& si, std::vector<unsigned char>* out)
{
	if (si.folders.size() != 1 || si.folders[0].coders.size() != 1 || si.pack_sizes.size() != 1) return false;
	const folder_info& f = si.folders[0];
	const coder_info& c = f.coders[0];
	if (f.unpack_size > kMax7zHeaderBytes || si.pack_sizes[0] > kMax7zHeaderBytes) return false;
	std::vector<unsigned char> packed(static_cast<size_t>(si.pack_sizes[0]));
	if (pread(fd, packed.data(), packed.size(), static_cast<off_t>(32 + si.pack_pos)) !=
	    static_cast<ssize_t>(packed.size()))
		return false;
	out->resize(static_cast<size_t>(f.unpack_size));
	if (c.is(kCoderCopy, sizeof kCoderCopy)) {
		if (packed.size() < out->size()) return false;
		std::memcpy(out->data(), packed.data(), out->size());
		return true;
	}
	lzma_filter filters[2] = {{LZMA_VLI_UNKNOWN, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
	if (c.is(kCoderLzma, sizeof kCoderLzma))
		filters[0].id = LZMA_FILTER_LZMA1;
	else if (c.is(kCoderLzma2, sizeof kCoderLzma2))
		filters[0].id = LZMA_FILTER_LZMA2;
	else
		return false;
	if (lzma_properties_decode(&filters[0], nullptr, c.props, c.props_size) != LZMA_OK) return false;
	lzma_stream z = LZMA_STREAM_INIT;
	const bool fits = lzma_raw_decoder_memusage(filters) <= kMax7zDecoderMemory;
	lzma_ret ret = fits ? lzma_raw_decoder(&z, filters) : LZMA_MEMLIMIT_ERROR;
	free(filters[0].options);
	if (ret != LZMA_OK) return false;
	z.next_in = packed.data();
	z.avail_in = packed.size();
	z.next_out = out->data();
	z.avail_out = out->size();
	// Until the header is whole, the data ends or a call makes no progress.
	while (z.avail_out > 0) {
		const size_t in_before = z.avail_in, out_before = z.avail_out;
		if (lzma_code(&z, LZMA_RUN) != LZMA_OK) break;
		if (z.avail_in == in_before && z.avail_out == out_before) break;
	}
	const bool whole = z.avail_out == 0;
	lzma_end(&z);
	return whole;
}

// 0 when no coder of the archive (nor of its packed header) asks for more memory
// than the bound; err_zip_open otherwise, or when the header cannot be looked at.
int check_7z_memory(int fd, uint64_t header_offset, uint64_t header_size)
{
	if (header_size > kMax7zHeaderBytes) return err_zip_open;
	std::vector<unsigned char> header(static_cast<size_t>(header_size));
	if (header_size == 0) return 0;  // an archive without entries
	if (pread(fd, header.data(), header.size(), static_cast<off_t>(32 + header_offset)) !=
	    static_cast<ssize_t>(header.size()))
		return err_zip_open;
	// A packed header is described by streams of its own; every writer packs it once.
	for (int depth = 0; depth < 2 && !header.empty() && header[0] == k7zEncodedHeader; ++depth) {
		header_reader r{header.data() + 1, header.data() + header.size()};
		streams_info si;
		if (!read_streams_info(r, &si) || !within_bound(si)) return err_zip_open;
		std::vector<unsigned char> unpacked;
		if (!unpack_header(fd, si, &unpacked)) return err_zip_open;
		header.swap(unpacked);
	}
	if (header.empty() || header[0] != k7zHeader) return err_zip_open;
	header_reader r{header.data() + 1, header.data() + header.size()};
	uint8_t id = r.byte();
	if (id == k7zArchiveProperties) {
		for (uint8_t prop = r.byte(); r.ok && prop != k7zEnd; prop = r.byte()) r.take(r.number());
		id = r.byte();
	}
	for (; r.ok && (id == k7zAdditionalStreamsInfo || id == k7zMainStreamsInfo); id = r.byte()) {
		streams_info si;
		if (!read_streams_info(r, &si) || !within_bound(si)) return err_zip_open;
		if (id == k7zMainStreamsInfo) return 0;  // what follows names the files
	}
	return r.ok ? 0 : err_zip_open;
}

// The name of an entry as unpacking would use it; a folder's ends in "/".
std::string entry_name(archive_entry* e)
{
	const char* utf8 = archive_entry_pathname_utf8(e);
	if (!utf8) utf8 = archive_entry_pathname(e);
	std::string name = utf8 ? utf8 : "";
	if (archive_entry_filetype(e) == AE_IFDIR && (name.empty() || name.back() != '/')) name += '/';
	return name;
}

// Lists the entries of the archive open at `fd` with a reader of its own (a listing
// decodes no data) and holds them against the record, then rewinds the archive for the
// walk that unpacks. 0, or the code that walk would give.
int check_entries_first(int fd, const unpack_record* record)
{
	std::vector<std::string> names;
	{
		reader list;
		list.a = archive_read_new();
		if (!list.a) return ENOMEM;
		archive_read_support_format_7zip(list.a);
		if (archive_read_open_fd(list.a, fd, 1 << 16) != ARCHIVE_OK) return err_zip_open;
		for (bool first = true;; first = false) {
			archive_entry* e = nullptr;
			const int h = archive_read_next_header(list.a, &e);
			if (h == ARCHIVE_EOF) break;
			if (h < ARCHIVE_WARN) return first ? err_zip_open : h;
			names.push_back(entry_name(e));
		}
	}
	if (int err = check_only_entry(record, names, false)) return err;
	return lseek(fd, 0, SEEK_SET) == 0 ? 0 : errno;
}

// One file of the archive, written through a private file next to `written`. 0, or
// the errno of the write, close or rename that failed (a full disk reads as one).
int write_one(struct archive* a, archive_entry* e, const std::string& written)
{
	if (archive_entry_filetype(e) == AE_IFLNK) {
		// Links are not restored: like any other file, the entry's bytes (its text) are written.
		const char* t = archive_entry_symlink(e);
		return write_link_text(t ? t : "", written);
	}
	unpack_file out;
	int err = out.open(written);
	if (err) return err;
	std::vector<char> buf(1 << 16);
	for (;;) {
		la_ssize_t n = archive_read_data(a, buf.data(), buf.size());
		if (n < 0) return static_cast<int>(n);  // damaged data, CRC mismatch
		if (n == 0) break;
		if ((err = out.write(buf.data(), static_cast<size_t>(n))) != 0) return err;
	}
	if ((err = out.close()) != 0) return err;
	return out.commit();
}

}  // namespace

int p7z_to_file(std::string archive, std::string out_dir, std::string* out_name, int rename_all,
                unpack_record* record)
{
	bool renaming = rename_all != 0 && out_name != nullptr;
	std::string rename_to = renaming ? *out_name : std::string();

	reader r;
	if (int err = open_regular_file(archive, &r.fd)) return err;
	if (int err = check_7z_header_crcs(r.fd)) return err;
	if (record && !record->only_entry.empty())
		if (int err = check_entries_first(r.fd, record)) return err;
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

		std::string rel = renaming ? rename_to : entry_name(e);
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
