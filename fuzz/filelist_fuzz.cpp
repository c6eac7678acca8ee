// Feeds arbitrary bytes to the file list reader as directory.txt. The list comes from
// discs and plain HTTP: whatever it holds, the reader must end with 2 or 3, a model
// whose histories are never empty, whose paths pass the one path rule and whose
// digests are digests.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "runtime/hl_alert.h"
#include "runtime/io_safe_path.h"

namespace {

// Impossible entries end the program with an alert; here the alert returns, so that
// the reader's own recovery is what gets exercised.
void quiet_presenter(int, const std::string&, const std::string&, const std::string&, const std::string&, int,
                     const char*, int)
{
}

std::string list_path()
{
	static std::string path;
	if (path.empty()) {
		char tmpl[] = "/tmp/kx_filelist_fuzz.XXXXXX";
		if (!mkdtemp(tmpl)) std::abort();
		path = std::string(tmpl) + "/directory.txt";
		DIDIVI_set_alert_presenter(quiet_presenter);
	}
	return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string path = list_path();
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
	if (fd < 0) std::abort();
	size_t done = 0;
	while (done < size) {
		ssize_t n = write(fd, data + done, size - done);
		if (n <= 0) std::abort();
		done += size_t(n);
	}
	close(fd);

	const int r = read_directory(path, "");
	if (r != 2 && r != 3) std::abort();
	for (const file_history_struct& h : sim_info) {
		if (h.empty()) std::abort();
		for (const file_version_struct& v : h) {
			if (v.path.back() == '/' || !path_stays_inside(v.path)) std::abort();
			// A digest is compared, never made into a name: 32 hex digits or the gone mark.
			if (v.sig != "GONE" &&
			    (v.sig.size() != 32 || v.sig.find_first_not_of("0123456789abcdef") != std::string::npos))
				std::abort();
			if (v.platform < 0 || v.platform > 6 || v.disk < 0) std::abort();
			if (v.is_global && (v.lat_band < 0 || v.lat_band > 17 || v.lon_band < 0 || v.lon_band > 35))
				std::abort();
		}
	}
	return 0;
}
