#pragma once
// Fixture images for the image and texture tests: our own writers, the netpbm and
// nvcompress tools, and bytes written one by one. Each test works inside its own
// temporary folder, which becomes app_path while the fixture lives.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/TEX_utils.h"
#include "runtime/hl_globals.h"
#include "support/test_env.h"

namespace tex_test {

// A temporary folder that is app_path for the fixture's life.
class AppFolder {
public:
	AppFolder() : saved_(app_path) { app_path = env_.root(); }
	~AppFolder() { app_path = saved_; }
	std::string path(const std::string& rel) const { return env_.path(rel); }
	bool write(const std::string& rel, const std::string& bytes) const { return kx_test::write_file(path(rel), bytes); }
	std::string read(const std::string& rel) const { return kx_test::read_file(path(rel)); }

private:
	kx_test::TempEnv env_;
	std::string saved_;
};

// True when a program is on the PATH.
inline bool have_tool(const char* name)
{
	return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command in the folder; true on exit status 0.
inline bool run_in(const AppFolder& f, const std::string& cmd)
{
	return std::system(("cd '" + f.path("") + "' && (" + cmd + ") 2>/dev/null").c_str()) == 0;
}

// Writes a plain PPM (P3) or PGM (P2) for the netpbm tools; pixels top row first.
inline std::string ppm(int w, int h, const std::vector<int>& rgb_top_first, int maxval = 255)
{
	std::string s = "P3\n" + std::to_string(w) + " " + std::to_string(h) + "\n" + std::to_string(maxval) + "\n";
	for (int v : rgb_top_first) s += std::to_string(v) + " ";
	return s + "\n";
}

inline void put32(std::string& s, std::size_t off, uint32_t v)
{
	if (s.size() < off + 4) s.resize(off + 4, '\0');
	for (int i = 0; i < 4; ++i) s[off + i] = char((v >> (8 * i)) & 0xFF);
}
inline void put16(std::string& s, std::size_t off, uint16_t v)
{
	if (s.size() < off + 2) s.resize(off + 2, '\0');
	s[off] = char(v & 0xFF);
	s[off + 1] = char(v >> 8);
}

// A 24-bit BMP header, byte by byte; rows follow at offset 54.
inline std::string bmp_header(int32_t w, int32_t h, uint16_t bpp = 24, uint32_t compression = 0,
                              uint32_t data_off = 54)
{
	std::string s = "BM";
	s.resize(54, '\0');
	put32(s, 10, data_off);
	put32(s, 14, 40);
	put32(s, 18, uint32_t(w));
	put32(s, 22, uint32_t(h));
	put16(s, 26, 1);
	put16(s, 28, bpp);
	put32(s, 30, compression);
	return s;
}

// A DDS header, byte by byte.
inline std::string dds_header(uint32_t w, uint32_t h, const char* fourcc, uint32_t pf_flags, bool mips,
                              uint32_t rgb_bits = 0)
{
	std::string s(128, '\0');
	s.replace(0, 4, "DDS ");
	put32(s, 4, 124);
	put32(s, 8, mips ? 0xA1007 : 0x81007);
	put32(s, 12, h);
	put32(s, 16, w);
	put32(s, 76, 32);
	put32(s, 80, pf_flags);
	if (fourcc) s.replace(84, 4, fourcc);
	put32(s, 88, rgb_bits);
	put32(s, 108, mips ? 0x401008 : 0x1000);
	return s;
}

}  // namespace tex_test
