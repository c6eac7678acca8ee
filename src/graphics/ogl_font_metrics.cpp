#include "graphics/ogl_draw.h"

namespace {

// Bytes not named in any row advance 0.
constexpr std::array<unsigned char, 256> make_advance()
{
	std::array<unsigned char, 256> a{};
	struct row {
		unsigned char adv;
		const char* chars;
	};
	const row rows[] = {
		{2, ",."},
		{3, " '/:;I\\`ijl|\xFB"},
		{4, "!()-J[]frst"},
		{5, "c"},
		{6, "#$*0123456789?EFLPSTZ^_aekvxyz\xBF\xC1\xC9\xCD\xD1\xD3\xDA\xE1\xE9\xED\xF1\xF3\xFA"},
		{7, "+<=>BCKRVXYbdghnopqu"},
		{8, "&ADGHNU"},
		{9, "@OQw"},
		{10, "Mm"},
		{11, "%W"},
	};
	for (const row& r : rows)
		for (const char* p = r.chars; *p; ++p) a[static_cast<unsigned char>(*p)] = r.adv;
	return a;
}

}  // namespace

constexpr std::array<unsigned char, 256> ui_char_advance = make_advance();
