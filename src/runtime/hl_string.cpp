#include "runtime/hl_string.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The font's letters beyond ASCII, and the printable ASCII it has no glyph for.
constexpr char kFontHighLetters[] = "\xFB\xC1\xE1\xC9\xE9\xCD\xED\xD3\xF3\xDA\xFA\xD1\xF1\xBF";
constexpr char kFontLacksAscii[] = "\"{}~";
constexpr unsigned char kFirstPrintable = 0x20, kDelete = 0x7F, kFirstNonAscii = 0x80;
constexpr char32_t kLastLatin1 = 0xFF;
constexpr char kNoGlyph = '?';

// The well-formed UTF-8 letters by their first byte: how many bytes they take, the
// first byte's payload bits, and the range of the second byte, which shuts out
// overlong forms, surrogates and code points past U+10FFFF. Every later byte is a
// continuation byte carrying six bits.
struct utf8_lead {
	unsigned char first, last;
	std::size_t length;
	unsigned char payload, second_min, second_max;
};
constexpr utf8_lead kUtf8Leads[] = {
    {0xC2, 0xDF, 2, 0x1F, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0x0F, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x0F, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x0F, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x0F, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x07, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x07, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x07, 0x80, 0x8F},
};
constexpr unsigned char kContinuationMin = 0x80, kContinuationMax = 0xBF, kContinuationPayload = 0x3F;
constexpr int kContinuationBits = 6;

// The length of the well-formed UTF-8 letter that starts text[at], its code point in
// *letter; 0 when none starts there.
std::size_t utf8_letter(const std::string& text, std::size_t at, char32_t* letter)
{
	const unsigned char b = static_cast<unsigned char>(text[at]);
	for (const utf8_lead& lead : kUtf8Leads) {
		if (b < lead.first || b > lead.last) continue;
		if (text.size() - at < lead.length) return 0;
		char32_t cp = b & lead.payload;
		for (std::size_t k = 1; k < lead.length; ++k) {
			const unsigned char c = static_cast<unsigned char>(text[at + k]);
			const unsigned char lo = k == 1 ? lead.second_min : kContinuationMin;
			const unsigned char hi = k == 1 ? lead.second_max : kContinuationMax;
			if (c < lo || c > hi) return 0;
			cp = (cp << kContinuationBits) | (c & kContinuationPayload);
		}
		*letter = cp;
		return lead.length;
	}
	return 0;
}

char font_byte(char32_t letter)
{
	return letter <= kLastLatin1 && STR_font_draws(static_cast<unsigned char>(letter)) ? static_cast<char>(letter)
	                                                                                      : kNoGlyph;
}

// The worth of one character of a number text: a digit its value, "+" 1, "-" -1.
int char_worth(char c)
{
	if (c >= '0' && c <= '9') return c - '0';
	if (c == '+') return 1;
	if (c == '-') return -1;
	return 0;
}

// Writes the decimal digits of mag at p and returns the end. The digit for 10^k is
// written when mag reaches 10^k or when min_digits > k, but zero-padding never reaches
// beyond pad_limit digits.
char* put_digits(char* p, std::uint64_t mag, int min_digits, int pad_limit)
{
	std::uint64_t power = 10000000000000000000ull;  // 10^19, the largest that fits
	for (int k = 19; k >= 1; --k, power /= 10) {
		if (mag >= power || (min_digits > k && k < pad_limit)) *p++ = char('0' + (mag / power) % 10);
	}
	*p++ = char('0' + mag % 10);
	return p;
}

std::string digits_text(std::uint64_t mag, int min_digits, int pad_limit)
{
	char buf[24];
	return std::string(buf, put_digits(buf, mag, min_digits, pad_limit));
}

}  // namespace

void int_to_str(int value, char* out, int min_digits, int plus_sign)
{
	// The magnitude is taken in 64 bits so that the most negative int has one.
	std::int64_t v = value;
	if (v < 0) {
		*out++ = '-';
		v = -v;
	} else if (plus_sign) {
		*out++ = '+';
	}
	*put_digits(out, std::uint64_t(v), min_digits, 10) = 0;
}

void flt_to_str(float value, std::string* out, int digits, int decimals, int sign_space)
{
	if (decimals < 0 || out == nullptr) return;
	// Beyond 18 decimals the scale would not fit 64 bits; no caller comes near it.
	const int places = decimals > 18 ? 18 : decimals;
	std::uint64_t scale = 1;
	for (int i = 0; i < places; ++i) scale *= 10;

	// The product is formed in float (scales up to 10^9 are exact there), in double for
	// the larger scales a float cannot hold exactly; then it is rounded with halves away
	// from zero and clamped, so no value (huge, infinite or not a number) makes the
	// conversion to an integer undefined.
	const bool negative = value < 0;
	const double product = places <= 9 ? double(std::fabs(value) * float(scale))
	                                   : double(std::fabs(value)) * double(scale);
	std::uint64_t n = 0;
	if (product >= 1.8e19)
		n = UINT64_MAX;
	else if (product > 0)  // false for a NaN
		n = std::uint64_t(std::round(product));
	const std::uint64_t whole = n / scale;
	const std::uint64_t fraction = n - scale * whole;

	std::string whole_text = digits_text(whole, digits - decimals, 10);
	for (std::size_t i = 0; i + 1 < whole_text.size() && whole_text[i] == '0'; ++i) whole_text[i] = ' ';

	std::string text;
	if (negative)
		text = "-";
	else if (sign_space)
		text = " ";
	text += whole_text;
	if (decimals >= 1) {
		text += '.';
		text += digits_text(fraction, places, places);
	}
	*out = text;
}

int str_to_int(const std::string& text)
{
	if (text.empty()) return -1;
	for (char c : text)
		if (!((c >= '0' && c <= '9') || c == '+' || c == '-')) return -1;
	int sign = 1;
	std::size_t first = 0;
	if (text[0] == '+' || text[0] == '-') {
		sign = text[0] == '-' ? -1 : 1;
		first = 1;
	}
	const std::size_t count = text.size() - first;
	if (count < 1 || count > 9) return -1;
	int sum = 0;
	for (std::size_t i = first; i < text.size(); ++i) sum = sum * 10 + char_worth(text[i]);
	return sign * sum;
}

void STR_replace_all(std::string& text, const std::string& what, const std::string& with)
{
	if (what.empty()) return;
	// The next search starts at the inserted text, so a match that the replacement
	// completes together with the text after it is replaced too. When the replacement
	// itself holds the searched text that would never end, so the search then goes on
	// behind the inserted text instead.
	const bool skip_inserted = with.find(what) != std::string::npos;
	std::size_t pos = 0;
	while ((pos = text.find(what, pos)) != std::string::npos) {
		text.replace(pos, what.size(), with);
		if (skip_inserted) pos += with.size();
	}
}

void STR_unescape(std::string& text)
{
	// One pass, writing behind the reading point: the text only shrinks. A backslash
	// before "r" or "n" is the escape; any other backslash stays as it is.
	std::size_t out = 0;
	const std::size_t size = text.size();
	for (std::size_t in = 0; in < size; ++in) {
		char c = text[in];
		if (c == '\\' && in + 1 < size && (text[in + 1] == 'r' || text[in + 1] == 'n')) {
			c = text[in + 1] == 'r' ? '\r' : '\n';
			++in;
		}
		text[out++] = c;
	}
	text.resize(out);
}

std::string* char_string_to_int_string(std::string* text)
{
	if (text == nullptr || text->empty() || (*text)[0] == '-' || (*text)[0] == '=') return text;
	std::string result;
	std::size_t i = 0;
	const std::size_t size = text->size();
	while (i < size) {
		if ((*text)[i] == ' ') {
			++i;
			continue;
		}
		// One code: at most three characters of a run of non-blanks.
		int code = 0;
		for (int taken = 0; taken < 3 && i < size && (*text)[i] != ' '; ++taken, ++i)
			code = code * 10 + char_worth((*text)[i]);
		if (code >= 0) {
			result += char(code / 127 + 1);
			result += char(code % 127 + 1);
		}
	}
	*text = result;
	return text;
}

bool STR_font_draws(unsigned char c)
{
	if (c < kFirstNonAscii) return c >= kFirstPrintable && c != kDelete && !std::strchr(kFontLacksAscii, c);
	return std::memchr(kFontHighLetters, c, sizeof kFontHighLetters - 1) != nullptr;
}

std::string STR_utf8_to_font(const std::string& text)
{
	std::string out;
	out.reserve(text.size());
	std::size_t at = 0;
	while (at < text.size()) {
		char32_t letter = 0;
		std::size_t length = utf8_letter(text, at, &letter);
		if (length == 0) {
			// ASCII, or a byte that begins no UTF-8 letter: it stands for itself.
			letter = static_cast<unsigned char>(text[at]);
			length = 1;
		}
		out += letter < kFirstNonAscii ? static_cast<char>(letter) : font_byte(letter);
		at += length;
	}
	return out;
}
