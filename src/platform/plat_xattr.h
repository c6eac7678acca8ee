#pragma once
// Resource forks and Finder info have no place in a Linux file, so they live in
// extended attributes under the names other Unix tools use for them. File systems
// that take no extended attributes (or no values this large) answer with an error
// the caller may log and go past.
#include <cstddef>
#include <string>

// Attribute names.
extern const char* const kResourceForkAttr;  // "user.com.apple.ResourceFork"
extern const char* const kFinderInfoAttr;    // "user.com.apple.FinderInfo"

// Size of a Finder info record: 16 bytes of Finder info, 16 of extended Finder info.
constexpr size_t kFinderInfoSize = 32;
// The largest resource fork an attribute can hold (the kernel's limit on any value).
constexpr size_t kResourceForkMax = 65536;

// The size of the resource fork of `path` (never following a final link) into *size.
// Returns 0, ENODATA when the file has none, or errno (ENOTSUP where the file
// system keeps no attributes).
int plat_resource_fork_size(const std::string& path, unsigned long long* size);
// Reads the whole resource fork into *data. Returns 0, ENODATA or errno.
int plat_read_resource_fork(const std::string& path, std::string* data);
// Replaces the resource fork with `data`. Returns 0 or errno.
int plat_write_resource_fork(const std::string& path, const std::string& data);

// Reads the Finder info record; a shorter attribute is padded with zeros. Returns 0,
// ENODATA when the file has none, or errno.
int plat_read_finder_info(const std::string& path, unsigned char info[kFinderInfoSize]);
// Replaces the Finder info record. Returns 0 or errno.
int plat_write_finder_info(const std::string& path, const unsigned char info[kFinderInfoSize]);
