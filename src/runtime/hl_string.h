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
