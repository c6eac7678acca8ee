#include "runtime/io_utils_zip.h"

#include <fcntl.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/plat_xattr.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"

namespace {

const char* const kSrcName = "VAvered/Files/io_utils";

// The log line of a link kept as a file, around the file's path in the copy and the
// reason the drive gave (arrays, so the log writes them as they stand).
constexpr char kLinkKeptStart[] = "Kept ";
constexpr char kLinkKeptMiddle[] = " as a file holding the link's text, because the drive cannot hold links (";
constexpr char kLinkKeptEnd[] = ").\n";

// Where a failure happened, for the log line. Kept per call rather than in shared
// globals, so a log line written by one unpack thread names its own failure.
struct err_at {
	const char* file = "";
	int line = -1;
	void set(int l)
	{
		file = kSrcName;
		line = l;
	}
};

// AppleDouble header as written: magic, version, zero filler, two entries (Finder info
// at 50, 32 bytes; resource fork at 82, length appended by the writer).
const unsigned char kMagicCrap[46] = {
	0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00,
	0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	0x00, 0x02,
	0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x32, 0x00, 0x00, 0x00, 0x20,
	0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x52};
// What the reader demands of the first 24 bytes.
const unsigned char kAppleHeader[8] = {0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00};
// Archives made by the Finder carry this text as filler instead of zeros.
const char kMacFiller[17] = "Mac OS X        ";

const unsigned long kUnixMadeBy = (3u << 8) | 20;  // host Unix, so other tools read the modes
const unsigned long kLinkAttributes = 0xA1ED0000ul;
const size_t kChunk = 65536;
// A link's text never exceeds a path; a resource fork is below 2 GiB.
const unsigned long long kMaxLinkText = PATH_MAX;
const unsigned long long kMaxAppleDouble = (1ull << 31) + 82;

uint32_t be32(const unsigned char* p)
{
	return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void put_be32(unsigned char* p, uint32_t v)
{
	p[0] = static_cast<unsigned char>(v >> 24);
	p[1] = static_cast<unsigned char>(v >> 16);
	p[2] = static_cast<unsigned char>(v >> 8);
	p[3] = static_cast<unsigned char>(v);
}

// minizip's -1 means "see errno": hand up the errno itself, so a full disk reads as one.
int mz_result(int r)
{
	if (r == -1 && errno != 0) return errno;
	return r;
}

// The C library's local-time conversions re-read the time zone on every call; unpack
// threads take turns so none of them sees another's half-updated zone state.
std::mutex g_local_time_lock;

time_t local_time_of(const tm_unz& d)
{
	std::lock_guard<std::mutex> g(g_local_time_lock);
	time_t now = time(nullptr);
	struct tm t;
	localtime_r(&now, &t);
	t.tm_sec = static_cast<int>(d.tm_sec);
	t.tm_min = static_cast<int>(d.tm_min);
	t.tm_hour = static_cast<int>(d.tm_hour);
	t.tm_mday = static_cast<int>(d.tm_mday);
	t.tm_mon = static_cast<int>(d.tm_mon);
	t.tm_year = static_cast<int>(d.tm_year) - 1900;
	t.tm_isdst = -1;
	return mktime(&t);
}

void broken_down_local(time_t when, struct tm* out)
{
	std::lock_guard<std::mutex> g(g_local_time_lock);
	localtime_r(&when, out);
}

std::string leaf_of(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads the current entry whole. The recorded size is trusted only as far as the data
// bears it out, so a damaged header cannot force a large allocation.
int read_entry(unzFile zf, const unz_file_info64& info, unsigned long long limit, std::string* out, err_at& at,
               int l_open, int l_read, int l_close)
{
	errno = 0;
	int err = unzOpenCurrentFile(zf);
	if (err != UNZ_OK) {
		at.set(l_open);
		return mz_result(err);
	}
	out->clear();
	if (info.uncompressed_size > limit) {
		unzCloseCurrentFile(zf);
		at.set(l_read);
		return err_zip_read;
	}
	char buf[8192];
	for (;;) {
		int n = unzReadCurrentFile(zf, buf, sizeof buf);
		if (n < 0) {
			unzCloseCurrentFile(zf);
			at.set(l_read);
			return err_zip_read;
		}
		if (n == 0) break;
		out->append(buf, static_cast<size_t>(n));
	}
	if (out->size() != info.uncompressed_size) {
		unzCloseCurrentFile(zf);
		at.set(l_read);
		return err_zip_read;
	}
	errno = 0;
	err = unzCloseCurrentFile(zf);  // reports a CRC mismatch
	if (err != UNZ_OK) {
		at.set(l_close);
		return mz_result(err);
	}
	return 0;
}

// Name and information of the current entry; names of any length.
int read_info(unzFile zf, unz_file_info64* info, std::string* name)
{
	int err = unzGetCurrentFileInfo64(zf, info, nullptr, 0, nullptr, 0, nullptr, 0);
	if (err != UNZ_OK) return err;
	std::string buf(info->size_filename + 1, '\0');
	err = unzGetCurrentFileInfo64(zf, info, buf.data(), buf.size(), nullptr, 0, nullptr, 0);
	if (err != UNZ_OK) return err;
	name->assign(buf.data(), info->size_filename);
	return 0;
}

// The names of every entry, in archive order; 0 or the container's error.
int entry_names(unzFile zf, std::vector<std::string>* names)
{
	for (int err = unzGoToFirstFile(zf); err != UNZ_END_OF_LIST_OF_FILE; err = unzGoToNextFile(zf)) {
		if (err != UNZ_OK) return err;
		unz_file_info64 info;
		std::string name;
		if ((err = read_info(zf, &info, &name)) != UNZ_OK) return err;
		names->push_back(std::move(name));
	}
	return 0;
}

const unpack_record::item* find_written(const unpack_record* record, const std::string& dest)
{
	if (!record) return nullptr;
	for (const auto& it : record->items)
		if (it.dest == dest) return &it;
	return nullptr;
}

// A file entry: streamed to a private file next to its destination and renamed into
// place only when the data and its CRC checked out and every write and close succeeded.
int unzip_plain_file(unzFile zf, const unz_file_info64& info, const std::string& written, err_at& at)
{
	errno = 0;
	int err = unzOpenCurrentFile(zf);
	if (err != UNZ_OK) {
		at.set(1309);
		return mz_result(err);
	}
	unpack_file out;
	err = out.open(written);
	if (err) {
		unzCloseCurrentFile(zf);
		at.set(1321);
		return err;
	}
	std::vector<char> buf(kChunk);
	unsigned long long total = 0;
	for (;;) {
		int n = unzReadCurrentFile(zf, buf.data(), static_cast<unsigned>(buf.size()));
		if (n < 0) {
			unzCloseCurrentFile(zf);
			at.set(1314);
			return err_zip_read;
		}
		if (n == 0) break;
		total += static_cast<unsigned>(n);
		err = out.write(buf.data(), static_cast<size_t>(n));
		if (err) {
			unzCloseCurrentFile(zf);
			at.set(1329);
			return err;
		}
	}
	if (total != info.uncompressed_size) {
		unzCloseCurrentFile(zf);
		at.set(1314);
		return err_zip_read;
	}
	errno = 0;
	err = unzCloseCurrentFile(zf);
	if (err != UNZ_OK) {
		at.set(1316);
		return mz_result(err);
	}
	// Archives made on other systems carry no Unix mode: the new file's own mode stays.
	if (info.external_fa != 0 && (info.external_fa >> 16) != 0)
		out.set_mode(archived_mode(static_cast<unsigned>(info.external_fa >> 16)));

	// The time stamp's failure is the entry's result, with its errno; it records no
	// line, so the log never names the write for it.
	err = out.set_time(static_cast<long long>(local_time_of(info.tmu_date)));
	if (err) return err;

	err = out.commit();
	if (err) {
		at.set(1329);
		return err;
	}
	return 0;
}

// minizip refuses an archive without entries; it is still a valid (empty) archive when
// all it holds is an end record that lists no entries.
bool is_empty_zip(const std::string& path)
{
	int fd = -1;
	struct stat st;
	if (open_regular_file(path, &fd, &st) != 0) return false;
	std::string tail;
	if (st.st_size >= 22 && st.st_size <= 22 + 65535) {
		tail.resize(static_cast<size_t>(st.st_size));
		if (pread(fd, tail.data(), tail.size(), 0) != static_cast<ssize_t>(tail.size())) tail.clear();
	}
	close(fd);
	if (tail.size() < 22 || tail.compare(0, 4, "PK\x05\x06", 4) != 0) return false;
	auto u16 = [&](size_t at) { return unsigned(static_cast<unsigned char>(tail[at])) | unsigned(static_cast<unsigned char>(tail[at + 1])) << 8; };
	// No entries, an empty directory, and the comment filling the rest of the file exactly.
	for (size_t at = 4; at < 20; at += 2)
		if (u16(at) != 0) return false;
	return 22 + u16(20) == tail.size();
}

// minizip opens an archive with fopen, which waits on a FIFO and reads a device or a
// link to one without end. Its archives are opened through open_regular_file instead;
// the rest of its file layer (reads and seeks on the FILE) stays its own. The opaque
// pointer is an int that receives the open's error.
voidpf ZCALLBACK open_regular_archive(voidpf opaque, const void* filename, int /*mode: always read*/)
{
	int* err = static_cast<int*>(opaque);
	int fd = -1;
	*err = open_regular_file(static_cast<const char*>(filename), &fd);
	if (*err != 0) return nullptr;
	FILE* f = fdopen(fd, "rb");
	if (!f) {
		*err = errno;
		close(fd);
	}
	return f;
}

// Opens `path` for unzipping. Null when it cannot be, with *open_err the reason when it
// was the file's open that failed (0 when the file opened but is no archive).
unzFile open_archive(const std::string& path, int* open_err)
{
	zlib_filefunc64_def io;
	fill_fopen64_filefunc(&io);
	io.zopen64_file = open_regular_archive;
	io.opaque = open_err;
	*open_err = 0;
	return unzOpen2_64(path.c_str(), &io);
}

int make_folder_for_entry(const std::string& path)
{
	std::string p = path;
	if (!p.empty() && p.back() == '/') p.pop_back();
	if (mkdir(p.c_str(), 0755) != 0) return errno;
	return 0;
}

}  // namespace

std::string make_apple_double(const unsigned char finder_info[16], const std::string& fork)
{
	std::string out(reinterpret_cast<const char*>(kMagicCrap), sizeof kMagicCrap);
	unsigned char len[4];
	put_be32(len, static_cast<uint32_t>(fork.size()));
	out.append(reinterpret_cast<const char*>(len), 4);
	out.append(reinterpret_cast<const char*>(finder_info), 16);
	out.append(16, '\0');
	out += fork;
	return out;
}

int parse_apple_double(const unsigned char* data, size_t size, apple_double_parts* out)
{
	*out = apple_double_parts();
	if (size < 26 || std::memcmp(data, kAppleHeader, sizeof kAppleHeader) != 0) return err_zip_rsrc_header;
	static const unsigned char zeros[16] = {};
	if (std::memcmp(data + 8, zeros, 16) != 0 && std::memcmp(data + 8, kMacFiller, 16) != 0)
		return err_zip_rsrc_header;
	int count = static_cast<int16_t>((data[24] << 8) | data[25]);
	for (int i = 0; i < count; ++i) {
		size_t at = 26 + 12 * static_cast<size_t>(i);
		if (at + 12 > size) return err_zip_rsrc_header;
		uint32_t id = be32(data + at), offset = be32(data + at + 4), length = be32(data + at + 8);
		if (offset > size || length > size - offset) return err_zip_rsrc_header;
		if (id == 9 && length == 32) {
			out->has_finder_info = true;
			std::memcpy(out->finder_info, data + offset, 16);
		} else if (id == 2) {
			out->has_fork = true;
			out->fork_offset = offset;
			out->fork_length = length;
		}
	}
	return 0;
}

int unzip_resource_fork(unzFile zip, std::string entry_path, const unz_file_info64& info,
                        const unzip_entry_place* place)
{
	err_at at;
	int err = 0;
	std::string data;
	// The "._" is looked for in the entry's own name only: one in the destination
	// folder's path must not turn the file it belongs to into one outside that folder.
	std::string rel = place ? place->name : entry_path;
	std::string target;
	size_t dot = rel.rfind("._");
	if (dot == std::string::npos) {
		at.set(1467);
		err = err_zip_rsrc_header;
	} else {
		rel.erase(dot, 2);
		target = place ? place->out_dir + rel : rel;
		// The file it belongs to must lie inside the destination like any entry.
		err = place ? check_entry_name(place->out_dir, rel) : check_entry_name(folder_of(target), leaf_of(target));
		if (err) at.set(1467);
	}
	if (!err && info.uncompressed_size <= kMaxAppleDouble && info.uncompressed_size > 82 + kResourceForkMax) {
		// No file here can keep a fork this large, so it is not read into memory either:
		// a small archive could otherwise make the reader allocate gigabytes.
		xer << "Could not keep the resource fork of " << target << ": " << error_str(E2BIG) << "\n";
		return 0;
	}
	if (!err) err = read_entry(zip, info, kMaxAppleDouble, &data, at, 1394, 1399, 1401);
	apple_double_parts parts;
	if (!err) {
		err = parse_apple_double(reinterpret_cast<const unsigned char*>(data.data()), data.size(), &parts);
		if (err) at.set(1467);
	}
	if (!err) {
		// A file unpacked by this call under a temporary name gets its fork there.
		const unpack_record::item* it = find_written(place ? place->record : nullptr, target);
		std::string path = it ? it->written : target;
		struct stat st;
		// No file, or a link (whose target is not ours to change): nothing to keep.
		if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
			if (parts.has_finder_info) {
				unsigned char rec[kFinderInfoSize] = {};
				std::memcpy(rec, parts.finder_info, 16);
				int e = plat_write_finder_info(path, rec);
				// The line names the file where it belongs, not the private name it
				// waits under until the archive has checked out.
				if (e)
					xer << "Could not keep the Finder info of " << target << ": " << error_str(e) << "\n";
			}
			if (parts.has_fork && parts.fork_length > 0) {
				int e = plat_write_resource_fork(path, data.substr(parts.fork_offset, parts.fork_length));
				if (e)
					xer << "Could not keep the resource fork of " << target << ": " << error_str(e) << "\n";
			}
		}
	}
	if (err)
		xer << "Unzip RF failed with error " << err << ". file = " << at.file << " line = " << at.line
		    << ". inFile=" << target << ".\n";
	return err;
}

int unzip_symlink(unzFile zip, std::string path, const unz_file_info64& info, const unzip_entry_place* place)
{
	err_at at;
	std::string target;
	int err = read_entry(zip, info, kMaxLinkText, &target, at, 1269, 1274, 1276);
	if (!err) {
		const std::string root = place && place->record ? place->record->link_root : std::string();
		if (place && !root.empty() && place->out_dir.compare(0, root.size(), root) == 0)
			err = check_link_target(root, place->out_dir.substr(root.size()) + place->name, target);
		else if (place)
			err = check_link_target(place->out_dir, place->name, target);
		else
			err = check_link_target(folder_of(path), leaf_of(path), target);
		if (err) at.set(1284);
	}
	if (!err) {
		std::string written = place && place->record ? place->record->written_path(path) : path;
		err = replace_with_symlink(target, written);
		if (links_not_supported(err)) {
			// A drive that cannot hold links (exFAT, FAT) keeps the link as the 7z reader
			// keeps every link, a file holding its text: the scan digests a link as its
			// text, so the file reads as current and a repair leaves it alone.
			const int refused = err;
			err = write_link_text(target, written);
			if (!err)
				xer << kLinkKeptStart << path << kLinkKeptMiddle << error_str(refused) << kLinkKeptEnd;
		}
		if (err) {
			at.set(1284);
		} else if (place && place->record) {
			place->record->items.push_back({path, written});
		}
	}
	if (err)
		xer << "Zip to symlink failed with error " << err << ". file = " << at.file << " line = " << at.line
		    << ". inFile=" << path << ".\n";
	return err;
}

int zip_to_file(std::string zip, std::string out_dir, std::string* first_name, int rename_first,
                unpack_record* record)
{
	zip = app_path + zip;
	out_dir = app_path + out_dir;
	err_at at;
	int err = 0;
	unzFile zf = nullptr;
	bool renaming = rename_first != 0 && first_name != nullptr;
	std::string rename_to = renaming ? *first_name : std::string();
	bool have_first = false;

	// The log names the archive the reader knows, not a private copy of it.
	const std::string named = record && !record->archive_name.empty() ? record->archive_name : zip;
	int open_err = 0;
	zf = open_archive(zip, &open_err);
	if (!zf && open_err == 0 && is_empty_zip(zip)) return 0;
	if (!zf) {
		xer << "OK I am about to report that I could not open a zip file for extraction!\n";
		xer << "That incoming file is " << named << "\n";
		xer << "In c-form, it is " << std::string_view(named.c_str()) << "\n";
		xer << "The size is " << named.size() << "\n";
		at.set(1507);
		// A file that cannot be opened (or is no regular file) says why; one that opened
		// but holds no archive is a damaged archive.
		err = open_err != 0 ? open_err : err_zip_open;
		goto failed;
	}
	// An archive for one file is looked at whole before anything is written.
	if (record && !record->only_entry.empty()) {
		std::vector<std::string> names;
		err = entry_names(zf, &names);
		if (!err) err = check_only_entry(record, names, true);
		if (err) {
			at.set(1557);
			unzClose(zf);
			goto failed;
		}
	}
	// An archive without entries ends the walk at once, with success.
	err = unzGoToFirstFile(zf);
	for (bool first = true;; first = false) {
		unz_file_info64 info;
		std::string name;
		if (err == UNZ_OK) err = read_info(zf, &info, &name);
		if (err != UNZ_OK) {
			xer << "unzGetCurrentFileInfo err != UNZ_OK! err=" << err << "\n";
			if (err == UNZ_END_OF_LIST_OF_FILE) {
				err = 0;
				break;
			}
			at.set(1557);
			break;
		}
		std::string rel = (first && renaming) ? rename_to : name;
		std::string dest = out_dir + rel;
		if (first_name && !have_first) {
			*first_name = name;
			have_first = true;
		}

		bool is_folder = !name.empty() && name.back() == '/';
		bool is_apple_double = name.compare(0, 8, "__MACOSX") == 0;
		if (is_folder) {
			if (!is_apple_double) {
				err = check_entry_name(out_dir, name);
				if (!err) {
					err = make_folder_for_entry(out_dir + name);
					if (err == 17) err = 0;
				}
				if (err) at.set(491);
			}
		} else if (is_apple_double) {
			unzip_entry_place place{out_dir, name.size() > 9 ? name.substr(9) : std::string(), record};
			err = unzip_resource_fork(zf, out_dir + place.name, info, &place);
			if (err) at.set(1467);
		} else {
			err = check_entry_name(out_dir, rel);
			if (err) {
				at.set(1546);
			} else if (((info.external_fa >> 16) & 0xA000) == 0xA000) {
				unzip_entry_place place{out_dir, rel, record};
				err = unzip_symlink(zf, dest, info, &place);
				if (err) at.set(1284);
			} else {
				std::string written = record ? record->written_path(dest) : dest;
				err_at fat;
				err = unzip_plain_file(zf, info, written, fat);
				if (err) {
					at = fat;
					xer << "Zip to file failed with error " << err << ". file = " << at.file << " line = " << at.line
					    << ". inFile=" << dest << ".\n";
				} else if (record) {
					record->items.push_back({dest, written});
				}
			}
		}
		if (err) {
			xer << "UNZIP zip_to_file failed with err=" << err << "\n";
			at.set(1546);
			break;
		}
		err = unzGoToNextFile(zf);
		if (err == UNZ_END_OF_LIST_OF_FILE) {
			err = 0;
			break;
		}
		if (err != UNZ_OK) {
			at.set(1557);
			break;
		}
	}
	unzClose(zf);
	if (!err) return 0;
failed:
	xer << "Zip to file failed with error err = " << err << ". file = " << at.file << " line = " << at.line
	    << ". zip_file=" << named << ", out_directory=" << out_dir << ".\n";
	return err;
}

namespace {

// Opens a new entry of an archive we write: Unix host, no extra field, no comment.
int open_entry(zipFile zf, const std::string& name, const zip_fileinfo& fi, int method, bool large)
{
	errno = 0;
	return mz_result(zipOpenNewFileInZip4_64(zf, name.c_str(), &fi, nullptr, 0, nullptr, 0, nullptr, method,
	                                         Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
	                                         Z_DEFAULT_STRATEGY, nullptr, 0, kUnixMadeBy, 0, large ? 1 : 0));
}

int write_entry(zipFile zf, const void* data, size_t size)
{
	const char* p = static_cast<const char*>(data);
	while (size > 0) {
		unsigned n = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
		errno = 0;
		int r = zipWriteInFileInZip(zf, p, n);
		if (r != ZIP_OK) return mz_result(r);
		p += n;
		size -= n;
	}
	return 0;
}

int close_entry(zipFile zf)
{
	errno = 0;
	return mz_result(zipCloseFileInZip(zf));
}

int close_archive(zipFile zf)
{
	errno = 0;
	return mz_result(zipClose(zf, nullptr));
}

// Adds the AppleDouble entry when the file has a resource fork.
int zip_resource_fork(zipFile zf, const std::string& src, const std::string& name, err_at& at)
{
	unsigned long long size = 0;
	int err = plat_resource_fork_size(src, &size);
	if (err == ENODATA || err == ENOTSUP) return 0;  // no fork, or no place for one
	if (err) {
		at.set(1167);
		return err;
	}
	if (size >= (1ull << 31)) {
		at.set(1168);
		return err_zip_rsrc_too_big;
	}
	if (size == 0) return 0;
	std::string fork;
	err = plat_read_resource_fork(src, &fork);
	if (err) {
		at.set(1179);
		return err;
	}
	if (fork.size() >= (1ull << 31)) {
		at.set(1168);
		return err_zip_rsrc_too_big;
	}
	unsigned char info[kFinderInfoSize] = {};
	err = plat_read_finder_info(src, info);
	if (err && err != ENODATA) {
		at.set(1182);
		return err;
	}
	zip_fileinfo fi;
	std::memset(&fi, 0, sizeof fi);
	err = open_entry(zf, "__MACOSX/._" + name, fi, Z_DEFLATED, false);
	if (err) {
		at.set(1210);
		return err;
	}
	std::string data = make_apple_double(info, fork);
	err = write_entry(zf, data.data(), data.size());
	if (err) {
		at.set(1225);
		return err;
	}
	err = close_entry(zf);
	if (err) at.set(1226);
	return err;
}

}  // namespace

int file_to_zip(std::string src, std::string zip)
{
	src = app_path + src;
	zip = app_path + zip;
	err_at at;
	int err = 0;
	zipFile zf = nullptr;
	int fd = -1;
	std::string name = leaf_of(src);
	zip_fileinfo fi;
	std::memset(&fi, 0, sizeof fi);
	struct stat st;
	std::vector<char> target(PATH_MAX + 1);
	ssize_t tlen = -1;

	if (lstat(src.c_str(), &st) != 0) {
		err = errno;
		at.set(1058);
		goto failed;
	}
	tlen = S_ISLNK(st.st_mode) ? readlink(src.c_str(), target.data(), target.size()) : -1;
	if (tlen >= 0) {
		// A link: one stored entry holding the target text, link mode 0120755, no date.
		zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
		if (!zf) {
			err = err_zip_create;
			at.set(1070);
			goto failed;
		}
		fi.external_fa = kLinkAttributes;
		if ((err = open_entry(zf, name, fi, 0, false)) != 0) {
			at.set(1079);
		} else if ((err = write_entry(zf, target.data(), static_cast<size_t>(tlen))) != 0) {
			at.set(1081);
		} else if ((err = close_entry(zf)) != 0) {
			at.set(1083);
		}
		if (err) goto failed;
		err = close_archive(zf);
		zf = nullptr;
		if (err) {
			at.set(1085);
			goto failed;
		}
		return 0;
	}

	if (open_regular_file(src, &fd, &st) != 0) {
		err = err_file_open_read;
		at.set(1097);
		goto failed;
	}
	zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
	if (!zf) {
		err = err_zip_create;
		at.set(1103);
		goto failed;
	}
	{
		struct tm t;
		broken_down_local(st.st_mtime, &t);
		fi.tmz_date.tm_sec = static_cast<uInt>(t.tm_sec);
		fi.tmz_date.tm_min = static_cast<uInt>(t.tm_min);
		fi.tmz_date.tm_hour = static_cast<uInt>(t.tm_hour);
		fi.tmz_date.tm_mday = static_cast<uInt>(t.tm_mday);
		fi.tmz_date.tm_mon = static_cast<uInt>(t.tm_mon);
		fi.tmz_date.tm_year = static_cast<uInt>(t.tm_year + 1900);
		fi.external_fa = static_cast<uLong>(st.st_mode) << 16;
	}
	err = open_entry(zf, name, fi, Z_DEFLATED, static_cast<unsigned long long>(st.st_size) >= 0xFFFFFFFFull);
	if (err) {
		at.set(1132);
		goto failed;
	}
	{
		std::vector<char> buf(kChunk);
		for (;;) {
			ssize_t n = read(fd, buf.data(), buf.size());
			if (n < 0 && errno == EINTR) continue;
			if (n < 0) {
				err = err_file_open_read;
				at.set(1097);
				goto failed;
			}
			if (n == 0) break;
			err = write_entry(zf, buf.data(), static_cast<size_t>(n));
			if (err) {
				at.set(1134);
				goto failed;
			}
		}
	}
	err = close_entry(zf);
	if (err) {
		at.set(1136);
		goto failed;
	}
	close(fd);
	fd = -1;
	err = zip_resource_fork(zf, src, name, at);
	if (err) goto failed;
	err = close_archive(zf);
	zf = nullptr;
	if (err) {
		at.set(1240);
		goto failed;
	}
	return 0;

failed:
	if (zf) zipClose(zf, nullptr);  // its result no longer matters
	if (fd >= 0) close(fd);
	xer << "file_to_zip failed with error " << err << ".\nfile = " << at.file << " line = " << at.line << "\n";
	return err;
}
