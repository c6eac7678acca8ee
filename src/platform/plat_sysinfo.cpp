#include "platform/plat_sysinfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {
constexpr long kBytesPerMb = 1024L * 1024L;
const char* const kCpuInfoPath = "/proc/cpuinfo";
const char* const kMhzKey = "cpu MHz";
}  // namespace

std::string plat_os_release()
{
	utsname u;
	if (uname(&u) != 0) return "?";
	return u.release;
}

int plat_cpu_mhz_of(const std::string& cpuinfo)
{
	std::istringstream in(cpuinfo);
	std::string line;
	while (std::getline(in, line)) {
		if (line.compare(0, std::char_traits<char>::length(kMhzKey), kMhzKey) != 0) continue;
		const auto colon = line.find(':');
		if (colon == std::string::npos) continue;
		char* end = nullptr;
		const double mhz = std::strtod(line.c_str() + colon + 1, &end);
		if (end == line.c_str() + colon + 1 || mhz <= 0) continue;
		return static_cast<int>(mhz + 0.5);
	}
	return -1;
}

int plat_cpu_mhz()
{
	std::ifstream in(kCpuInfoPath);
	if (!in) return -1;
	std::stringstream all;
	all << in.rdbuf();
	return plat_cpu_mhz_of(all.str());
}

long plat_ram_mb()
{
	const long pages = sysconf(_SC_PHYS_PAGES);
	const long page = sysconf(_SC_PAGESIZE);
	if (pages <= 0 || page <= 0) return -1;
	return static_cast<long>(static_cast<long long>(pages) * page / kBytesPerMb);
}
