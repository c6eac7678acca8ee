#pragma once
// Text conversions: numbers into fixed-layout text and back, and in-place string
// rewrites. None of them reports an error other than through its result.
#include <string>

// Writes value as decimal text into out, which must hold at least 12 bytes: "-" before a
// negative value, "+" before a non-negative one when plus_sign is set, at least
// min_digits digits (zero-padded, never more than 10), then a zero byte.
void int_to_str(int value, char* out, int min_digits, int plus_sign);

// Sets *out to value with `decimals` decimals, the integer part right-aligned in a field
// of digits - decimals characters (blank-padded); "-" before a negative value, a blank
// before a non-negative one when sign_space is set. Halves round away from zero. With
// decimals below 0 (or a null out) nothing changes.
void flt_to_str(float value, std::string* out, int digits, int decimals, int sign_space);

// An optional sign and 1 to 9 further characters, each a digit, "+" (counting 1) or "-"
// (counting -1); anything else gives -1.
int str_to_int(const std::string& text);

// Replaces every occurrence of what by with. An empty what changes nothing.
void STR_replace_all(std::string& text, const std::string& what, const std::string& with);

// Turns every backslash-r into a carriage return, then every backslash-n into a line feed.
void STR_unescape(std::string& text);

// Turns a blank-separated list of decimal codes (as the Korean menu files hold them) into
// two non-zero bytes per code; a text that is empty or begins with "-" or "=" stays as it
// is. Returns text.
std::string* char_string_to_int_string(std::string* text);

// Whether the interface font has a glyph for the byte: printable ASCII but '"', '{', '}'
// and '~', and of the high bytes only û and the Spanish letters (Latin-1).
bool STR_font_draws(unsigned char c);

// A name or path from outside the program (the file system and the folder chooser
// give UTF-8) as the interface font can draw it: a letter beyond ASCII that the font
// has becomes its Latin-1 byte, any other one '?'; ASCII stays as it is. A byte that
// begins no well-formed UTF-8 letter is taken for Latin-1 (an older name, or one typed
// in the font's own bytes): kept when the font draws it, else '?'. Only for putting a
// path into drawn text: every file operation keeps the path's own bytes.
std::string STR_utf8_to_font(const std::string& text);
