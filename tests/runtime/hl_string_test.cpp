#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "runtime/hl_string.h"

namespace {

std::string its(int value, int min_digits, int plus_sign)
{
	char buf[12];
	int_to_str(value, buf, min_digits, plus_sign);
	return buf;
}

std::string fts(float value, int digits, int decimals, int sign_space)
{
	std::string out = "untouched";
	flt_to_str(value, &out, digits, decimals, sign_space);
	return out;
}

}  // namespace

TEST(IntToStr, SignsAndPadding)
{
	EXPECT_EQ(its(7, 3, 0), "007");
	EXPECT_EQ(its(-42, 0, 0), "-42");
	EXPECT_EQ(its(5, 1, 1), "+5");
	EXPECT_EQ(its(0, 0, 0), "0");
	EXPECT_EQ(its(0, 0, 1), "+0");
	EXPECT_EQ(its(-7, 4, 1), "-0007");  // the plus flag never adds to a minus
	EXPECT_EQ(its(12345, 2, 0), "12345");
	// Padding stops at ten digits, so the 12-byte buffer always suffices.
	EXPECT_EQ(its(5, 15, 0), "0000000005");
	EXPECT_EQ(its(-5, 15, 1), "-0000000005");
}

TEST(IntToStr, ExtremesFitTheBuffer)
{
	EXPECT_EQ(its(INT_MAX, 0, 1), "+2147483647");
	EXPECT_EQ(its(INT_MIN, 0, 0), "-2147483648");
	EXPECT_EQ(its(INT_MIN, 12, 0), "-2147483648");
	EXPECT_EQ(its(1000000000, 0, 0), "1000000000");
}

TEST(FltToStr, FieldLayout)
{
	EXPECT_EQ(fts(3.14159f, 6, 2, 0), "   3.14");
	EXPECT_EQ(fts(2.5f, 1, 0, 1), " 3");  // halves round away from zero
	EXPECT_EQ(fts(-2.5f, 1, 0, 0), "-3");
	EXPECT_EQ(fts(105.25f, 5, 1, 0), " 105.3");  // 105.25 is exact in float: a true half
	EXPECT_EQ(fts(0.05f, 4, 2, 0), " 0.05");       // the fraction keeps its leading zeros
	EXPECT_EQ(fts(12.0f, 2, 0, 0), "12");          // no point without decimals
	EXPECT_EQ(fts(1234.5f, 3, 1, 0), "1234.5");    // a narrow field does not cut digits
	EXPECT_EQ(fts(100.0f, 6, 2, 1), "  100.00");   // only leading zeros become blanks
	EXPECT_EQ(fts(9.996f, 4, 2, 0), "10.00");      // rounding carries into the integer part
}

TEST(FltToStr, SignFollowsTheValueNotTheRoundedNumber)
{
	EXPECT_EQ(fts(-0.001f, 4, 2, 0), "- 0.00");
	EXPECT_EQ(fts(-0.0f, 3, 1, 0), " 0.0");   // minus zero is not negative
	EXPECT_EQ(fts(0.001f, 4, 2, 1), "  0.00");  // sign space, then the field
}

TEST(FltToStr, NegativeDecimalsLeaveOutUnchanged)
{
	EXPECT_EQ(fts(3.0f, 4, -1, 0), "untouched");
	flt_to_str(3.0f, nullptr, 4, 2, 0);  // a null out is ignored, not written through
}

TEST(FltToStr, OutOfRangeValuesAreClampedNotUndefined)
{
	// These products do not fit an int; they must still give digits, never a trap.
	EXPECT_EQ(fts(3.0e9f, 1, 0, 0), "3000000000");
	EXPECT_EQ(fts(-3.0e9f, 1, 0, 0), "-3000000000");
	EXPECT_EQ(fts(1.0e30f, 1, 0, 0), "18446744073709551615");
	EXPECT_EQ(fts(std::numeric_limits<float>::infinity(), 1, 2, 0), "184467440737095516.15");
	EXPECT_EQ(fts(std::nanf(""), 3, 1, 0), " 0.0");
	// More decimals than 64 bits can scale are held at 18.
	EXPECT_EQ(fts(0.5f, 2, 25, 0), "0.500000000000000000");
}

TEST(StrToInt, Parts)
{
	EXPECT_EQ(str_to_int("+40"), 40);
	EXPECT_EQ(str_to_int("-120"), -120);
	EXPECT_EQ(str_to_int("0"), 0);
	EXPECT_EQ(str_to_int("007"), 7);
	EXPECT_EQ(str_to_int("123456789"), 123456789);
	EXPECT_EQ(str_to_int("-123456789"), -123456789);
	// Inner signs count as digits of worth 1 and -1.
	EXPECT_EQ(str_to_int("1-2"), 92);
	EXPECT_EQ(str_to_int("1+2"), 112);
	EXPECT_EQ(str_to_int("--1"), -(-10 + 1));
}

TEST(StrToInt, RejectsWithMinusOne)
{
	EXPECT_EQ(str_to_int(""), -1);
	EXPECT_EQ(str_to_int("-"), -1);
	EXPECT_EQ(str_to_int("+"), -1);
	EXPECT_EQ(str_to_int("1234567890"), -1);
	EXPECT_EQ(str_to_int("-1234567890"), -1);
	EXPECT_EQ(str_to_int("12a"), -1);
	EXPECT_EQ(str_to_int(" 12"), -1);
	EXPECT_EQ(str_to_int("1.5"), -1);
	EXPECT_EQ(str_to_int(std::string("1\0" "2", 3)), -1);
}

TEST(StrReplaceAll, ReplacesEveryOccurrence)
{
	std::string s = "a-b-c";
	STR_replace_all(s, "-", "+-+");  // the replacement holds the searched text: must end
	EXPECT_EQ(s, "a+-+b+-+c");

	s = "xx";
	STR_replace_all(s, "x", "xx");
	EXPECT_EQ(s, "xxxx");

	s = "one two two";
	STR_replace_all(s, "two", "2");
	EXPECT_EQ(s, "one 2 2");

	s = "abc";
	STR_replace_all(s, "abc", "");
	EXPECT_EQ(s, "");

	s = "abc";
	STR_replace_all(s, "", "z");  // an empty search changes nothing
	EXPECT_EQ(s, "abc");

	s = "nothing here";
	STR_replace_all(s, "zz", "y");
	EXPECT_EQ(s, "nothing here");
}

TEST(StrReplaceAll, SearchResumesAtTheInsertedText)
{
	// A match that the replacement completes with the text after it is replaced again.
	std::string s = "abbb";
	STR_replace_all(s, "ab", "a");
	EXPECT_EQ(s, "a");

	s = "aaaa";
	STR_replace_all(s, "aa", "a");
	EXPECT_EQ(s, "a");
}

TEST(StrUnescape, OnlyCarriageReturnAndLineFeed)
{
	std::string s = "a\\nb";
	STR_unescape(s);
	EXPECT_EQ(s, "a\nb");

	s = "x\\r\\ny\\tz\\\\";
	STR_unescape(s);
	EXPECT_EQ(s, "x\r\ny\\tz\\\\");

	s = "\\";  // a lone backslash at the end stays
	STR_unescape(s);
	EXPECT_EQ(s, "\\");
}

TEST(StrUnescape, OnePassAgreesWithReplacingEachEscapeInTurn)
{
	// Every text of up to six characters from "\\", "r", "n" and "x".
	const char alphabet[] = {'\\', 'r', 'n', 'x'};
	for (int len = 0; len <= 6; ++len) {
		int combos = 1;
		for (int i = 0; i < len; ++i) combos *= 4;
		for (int code = 0; code < combos; ++code) {
			std::string text;
			for (int i = 0, c = code; i < len; ++i, c /= 4) text += alphabet[c % 4];
			std::string expected = text;
			STR_replace_all(expected, "\\r", "\r");
			STR_replace_all(expected, "\\n", "\n");
			std::string got = text;
			STR_unescape(got);
			EXPECT_EQ(got, expected) << text;
		}
	}
}

TEST(CharStringToIntString, CodesBecomeTwoNonZeroBytes)
{
	std::string s = "0 127 300";
	std::string* r = char_string_to_int_string(&s);
	EXPECT_EQ(r, &s);
	EXPECT_EQ(s, std::string({1, 1, 2, 1, 3, 47}));

	// A run longer than three characters goes on as the next code.
	s = "1234";
	char_string_to_int_string(&s);
	EXPECT_EQ(s, std::string({1, 124, 1, 5}));

	// Other characters count 0, signs 1 and -1; negative codes are dropped.
	s = "1a2  5 -3";
	char_string_to_int_string(&s);
	EXPECT_EQ(s, std::string({1, 103, 1, 6}));
	for (char c : s) EXPECT_NE(c, 0);
}

TEST(CharStringToIntString, LeavesSeparatorsAndEmptyTextAlone)
{
	std::string s = "-";
	EXPECT_EQ(*char_string_to_int_string(&s), "-");
	s = "=12";
	EXPECT_EQ(*char_string_to_int_string(&s), "=12");
	s = "";
	EXPECT_EQ(*char_string_to_int_string(&s), "");
	s = "   ";
	EXPECT_EQ(*char_string_to_int_string(&s), "");
}

TEST(CharStringToIntString, EachCallReturnsItsOwnText)
{
	std::string a = "65";
	std::string b = "66";
	std::string* ra = char_string_to_int_string(&a);
	std::string* rb = char_string_to_int_string(&b);
	EXPECT_EQ(*ra, std::string({1, 66}));
	EXPECT_EQ(*rb, std::string({1, 67}));
}

// Paths come in UTF-8; the interface font indexes Latin-1 bytes and has only ASCII, û
// and the Spanish letters.
TEST(Utf8ToFont, LettersTheFontHasBecomeItsBytesEveryOtherOneQuestionMark)
{
	// é, ü and a Japanese letter: é the font's byte, each of the others one '?'.
	EXPECT_EQ(STR_utf8_to_font("/home/T\xC3\xA9l\xC3\xA9" "chargements/\xC3\xBC\xE3\x81\x82/"),
	          "/home/T\xE9l\xE9" "chargements/?\?/");
	EXPECT_EQ(STR_utf8_to_font("\xC3\x81\xC3\xA1\xC3\x89\xC3\xA9\xC3\x8D\xC3\xAD\xC3\x93\xC3\xB3\xC3\x9A\xC3\xBA\xC3\x91"
	                           "\xC3\xB1\xC2\xBF\xC3\xBB"),
	          "\xC1\xE1\xC9\xE9\xCD\xED\xD3\xF3\xDA\xFA\xD1\xF1\xBF\xFB");
	// Letters beyond Latin-1 and beyond the first plane; Latin-1 letters the font lacks.
	EXPECT_EQ(STR_utf8_to_font("a\xF0\x9F\x98\x80" "b\xC3\xA4\xC3\x9F\xE2\x82\xAC" "c"), "a?b???c");
	// ASCII stays as it is, the few characters the font lacks too.
	EXPECT_EQ(STR_utf8_to_font("x\ny\t\"{}~\x7F" "z"), "x\ny\t\"{}~\x7F" "z");
	EXPECT_EQ(STR_utf8_to_font(""), "");
}

TEST(Utf8ToFont, BytesThatAreNotUtf8AreTakenForLatin1)
{
	// A name already in Latin-1: é kept, ä (which the font lacks) a '?'.
	EXPECT_EQ(STR_utf8_to_font("caf\xE9 \xE4"), "caf\xE9 ?");
	// A cut letter: its first byte alone, then the next letter as usual.
	EXPECT_EQ(STR_utf8_to_font("\xC3" "a\xE3\x81" "b\xE3\x81"), "?a??b??");
	// Overlong forms, a surrogate and a code point past U+10FFFF are not letters: each
	// byte on its own (0xED is í in Latin-1, 0xC1 Á and 0xBF ¿).
	EXPECT_EQ(STR_utf8_to_font("\xC0\xAF\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80"), "?????\xED" "??????");
	EXPECT_EQ(STR_utf8_to_font("\xC1\xBF"), "\xC1\xBF");
	// A lone continuation byte.
	EXPECT_EQ(STR_utf8_to_font("\xA9"), "?");
}
