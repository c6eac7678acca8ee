// Every fixed text the program hands to UTL_translate_string has a French and a German
// entry. The sources are read as they stand, so a screen that lands with a new text
// and no translation fails here.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "runtime/hl_globals.h"
#include "runtime/translate.h"
#include "support/test_env.h"
#include "language_files.h"
#include "wizard/main_globals.h"
#include "wizard/main_licence.h"
#include "wizard/main_screens.h"

namespace {

using kx_languages::kLanguages;
using kx_languages::source_dir;
using kx_languages::text_file;

// ---- A small C++ tokenizer: enough to find the calls and the tables they read.

enum tok_kind { tk_ident, tk_string, tk_punct, tk_other };
struct token {
	tok_kind kind;
	std::string text;  // a string token holds its value, adjacent literals joined
};

bool ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string unescape_literal(const std::string& s, size_t& i)
{
	std::string out;
	++i;  // the opening quote
	while (i < s.size() && s[i] != '"') {
		char c = s[i++];
		if (c == '\\' && i < s.size()) {
			const char e = s[i++];
			switch (e) {
			case 'n': c = '\n'; break;
			case 'r': c = '\r'; break;
			case 't': c = '\t'; break;
			case '0': c = '\0'; break;
			case 'x': {
				int v = 0;
				while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])))
					v = v * 16 + std::stoi(std::string(1, s[i++]), nullptr, 16);
				c = static_cast<char>(v);
				break;
			}
			default: c = e;
			}
		}
		out += c;
	}
	++i;  // the closing quote
	return out;
}

std::vector<token> tokenize(const std::string& s)
{
	std::vector<token> t;
	size_t i = 0;
	bool line_start = true;
	while (i < s.size()) {
		const char c = s[i];
		if (c == '\n') {
			line_start = true;
			++i;
		} else if (std::isspace(static_cast<unsigned char>(c))) {
			++i;
		} else if (line_start && c == '#') {  // preprocessor lines, continuations included
			while (i < s.size() && !(s[i] == '\n' && s[i - 1] != '\\')) ++i;
		} else if (s.compare(i, 2, "//") == 0) {
			while (i < s.size() && s[i] != '\n') ++i;
		} else if (s.compare(i, 2, "/*") == 0) {
			const size_t e = s.find("*/", i + 2);
			i = e == std::string::npos ? s.size() : e + 2;
		} else if (c == '"') {
			line_start = false;
			std::string v = unescape_literal(s, i);
			if (!t.empty() && t.back().kind == tk_string) t.back().text += v;
			else t.push_back({tk_string, v});
		} else if (c == '\'') {
			line_start = false;
			++i;
			while (i < s.size() && s[i] != '\'') i += s[i] == '\\' ? 2 : 1;
			++i;
			t.push_back({tk_other, "'"});
		} else if (ident_char(c)) {
			line_start = false;
			const size_t b = i;
			while (i < s.size() && ident_char(s[i])) ++i;
			const std::string w = s.substr(b, i - b);
			t.push_back({std::isdigit(static_cast<unsigned char>(w[0])) ? tk_other : tk_ident, w});
		} else {
			line_start = false;
			t.push_back({tk_punct, std::string(1, c)});
			++i;
		}
	}
	return t;
}

bool is(const std::vector<token>& t, size_t i, const char* text) { return i < t.size() && t[i].text == text; }

// The index of the bracket that closes the one at `open`.
size_t closing(const std::vector<token>& t, size_t open)
{
	const std::string o = t[open].text;
	const std::string c = o == "(" ? ")" : o == "[" ? "]" : "}";
	int depth = 0;
	for (size_t i = open; i < t.size(); ++i) {
		if (t[i].kind != tk_punct) continue;
		if (t[i].text == o) ++depth;
		if (t[i].text == c && --depth == 0) return i;
	}
	return t.size();
}

// Splits [b, e) at commas outside brackets.
std::vector<std::pair<size_t, size_t>> split_commas(const std::vector<token>& t, size_t b, size_t e)
{
	std::vector<std::pair<size_t, size_t>> parts;
	size_t start = b;
	for (size_t i = b; i < e; ++i) {
		if (t[i].kind == tk_punct && (t[i].text == "(" || t[i].text == "[" || t[i].text == "{")) {
			i = closing(t, i);
			continue;
		}
		if (is(t, i, ",")) {
			parts.push_back({start, i});
			start = i + 1;
		}
	}
	if (start < e) parts.push_back({start, e});
	return parts;
}

std::vector<std::string> literals(const std::vector<token>& t, size_t b, size_t e)
{
	std::vector<std::string> out;
	for (size_t i = b; i < e && i < t.size(); ++i)
		if (t[i].kind == tk_string) out.push_back(t[i].text);
	return out;
}

class source_file {
public:
	explicit source_file(const std::string& text) : t(tokenize(text)) {}

	// The texts a call's argument [b, e) can be; false when the argument cannot be read.
	bool texts_of(size_t b, size_t e, std::vector<std::string>& out) const
	{
		out = literals(t, b, e);
		if (!out.empty()) return true;
		for (size_t i = b; i < e; ++i) {
			if (t[i].kind != tk_ident) continue;
			// A member read: X.m, X->m or X[...].m.
			size_t j = i + 1;
			if (is(t, j, "[")) j = closing(t, j) + 1;
			std::string member;
			if (is(t, j, ".") && j + 1 < e) member = t[j + 1].text;
			if (is(t, j, "-") && is(t, j + 1, ">") && j + 2 < e) member = t[j + 2].text;
			if (resolve(t[i].text, member, out, 0) && !out.empty()) return true;
		}
		return false;
	}

	std::vector<token> t;

private:
	static constexpr int kMaxDepth = 4;

	// Looks through the file for what `name` (and its `member`) can hold; the first
	// reading that gives texts counts.
	bool resolve(const std::string& name, const std::string& member, std::vector<std::string>& out, int depth) const
	{
		if (depth > kMaxDepth) return false;
		for (size_t i = 1; i + 2 < t.size(); ++i) {
			if (t[i].text != name || t[i].kind != tk_ident) continue;
			std::vector<std::string> got;
			read_at(i, member, got, depth);
			if (!got.empty()) {
				out = got;
				return true;
			}
		}
		return false;
	}

	void read_at(size_t i, const std::string& member, std::vector<std::string>& out, int depth) const
	{
		// for (... name : table)
		if (is(t, i + 1, ":") && !is(t, i + 2, ":") && t[i + 2].kind == tk_ident) {
			resolve(t[i + 2].text, member, out, depth + 1);
			return;
		}
		// A definition: a type word, "*" or "&" before, "[...]" maybe, then "=" or "{".
		const token& before = t[i - 1];
		if (!(before.kind == tk_ident || is(t, i - 1, "*") || is(t, i - 1, "&")) || before.text == "return") return;
		size_t j = i + 1;
		const bool array = is(t, j, "[");
		if (array) j = closing(t, j) + 1;
		if (is(t, j, "=")) ++j;
		if (is(t, j, "{")) {
			const size_t end = closing(t, j);
			if (member.empty()) out = literals(t, j, end);
			else collect_member(type_before(i), member, j, end, array, out);
			return;
		}
		if (j < t.size() && t[j].kind == tk_string) {
			out = {t[j].text};
			return;
		}
		// A parameter of a record type: every record of that type in the file.
		if (!member.empty() && (is(t, i + 1, ",") || is(t, i + 1, ")"))) {
			const std::string type = type_before(i);
			for (size_t k = 1; k + 2 < t.size(); ++k) {
				if (t[k].text != type || t[k + 1].kind != tk_ident || is(t, k - 1, "struct")) continue;
				size_t m = k + 2;
				const bool arr = is(t, m, "[");
				if (arr) m = closing(t, m) + 1;
				if (is(t, m, "=")) ++m;
				if (is(t, m, "{")) collect_member(type, member, m, closing(t, m), arr, out);
			}
		}
	}

	std::string type_before(size_t i) const
	{
		for (size_t k = i; k-- > 0;) {
			if (t[k].kind != tk_ident) continue;
			if (t[k].text == "const" || t[k].text == "constexpr" || t[k].text == "static") continue;
			return t[k].text;
		}
		return "";
	}

	// The position of `member` among the data members of `struct type`, or -1.
	int member_index(const std::string& type, const std::string& member) const
	{
		for (size_t i = 0; i + 2 < t.size(); ++i) {
			if (!is(t, i, "struct") || t[i + 1].text != type || !is(t, i + 2, "{")) continue;
			const size_t end = closing(t, i + 2);
			int index = 0;
			size_t start = i + 3;
			for (size_t k = start; k < end; ++k) {
				if (t[k].kind == tk_punct && (t[k].text == "(" || t[k].text == "{" || t[k].text == "[")) {
					k = closing(t, k);
					continue;
				}
				if (!is(t, k, ";")) continue;
				// The declared name: the last identifier before ";", "=" or "[".
				std::string last;
				for (size_t m = start; m < k; ++m) {
					if (is(t, m, "=") || is(t, m, "[")) break;
					if (t[m].kind == tk_ident) last = t[m].text;
				}
				if (last == member) return index;
				++index;
				start = k + 1;
			}
		}
		return -1;
	}

	void collect_member(const std::string& type, const std::string& member, size_t open, size_t close, bool array,
	                    std::vector<std::string>& out) const
	{
		const int index = member_index(type, member);
		if (index < 0) return;
		std::vector<std::pair<size_t, size_t>> records;
		if (array) {
			for (auto [b, e] : split_commas(t, open + 1, close))
				if (is(t, b, "{")) records.push_back({b + 1, closing(t, b)});
		} else {
			records.push_back({open + 1, close});
		}
		for (auto [b, e] : records) {
			const auto fields = split_commas(t, b, e);
			if (size_t(index) < fields.size()) {
				for (const std::string& s : literals(t, fields[index].first, fields[index].second)) out.push_back(s);
			}
		}
	}
};

// Arguments that are a function's own parameter: the table their callers take them from.
struct passed_text {
	const char* file;      // path under the source folder
	const char* argument;  // the argument as written
	const char* table;     // the table of the same file the callers read
};
const passed_text kPassedTexts[] = {
    {"src/shell/hl_mnw_about.cpp", "text", "kAboutTexts"},
    {"src/wizard/main_web_update.cpp", "steps[i].label", "kSteps"},
};

struct found_call {
	std::string where;
	std::vector<std::string> texts;
};

void list_sources(const std::string& dir, std::vector<std::string>& out)
{
	DIR* d = opendir(dir.c_str());
	if (!d) return;
	while (dirent* e = readdir(d)) {
		const std::string name = e->d_name;
		if (name[0] == '.') continue;
		const std::string p = dir + "/" + name;
		struct stat st;
		if (stat(p.c_str(), &st) != 0) continue;
		if (S_ISDIR(st.st_mode)) list_sources(p, out);
		else if (name.size() > 4 && (name.ends_with(".cpp") || name.ends_with(".h"))) out.push_back(p);
	}
	closedir(d);
}

// Every call of UTL_translate_string in src/ and apps/, with the texts it can be given.
std::vector<found_call> scan_calls(std::vector<std::string>& unreadable)
{
	const std::string root = source_dir() + "/";
	std::vector<std::string> files;
	for (const char* sub : {"src", "apps"}) list_sources(root + sub, files);
	std::sort(files.begin(), files.end());
	std::vector<found_call> calls;
	for (const std::string& path : files) {
		const std::string rel = path.substr(root.size());
		if (rel.rfind("src/runtime/translate.", 0) == 0) continue;
		const source_file f(kx_test::read_file(path));
		const auto& t = f.t;
		for (size_t i = 0; i + 1 < t.size(); ++i) {
			if (t[i].text != "UTL_translate_string" || !is(t, i + 1, "(")) continue;
			if (i > 0 && (t[i - 1].kind == tk_ident && t[i - 1].text == "string")) continue;  // its declaration
			const size_t close = closing(t, i + 1);
			std::string arg;
			for (size_t k = i + 2; k < close; ++k) arg += t[k].text;
			found_call c{rel + ": UTL_translate_string(" + arg + ")", {}};
			if (!f.texts_of(i + 2, close, c.texts)) {
				bool passed = false;
				for (const passed_text& p : kPassedTexts) {
					if (rel == p.file && arg == p.argument) {
						const size_t at = std::find_if(t.begin(), t.end(), [&](const token& x) { return x.text == p.table; }) - t.begin();
						f.texts_of(at, at + 1, c.texts);
						passed = true;
					}
				}
				if (!passed || c.texts.empty()) {
					unreadable.push_back(c.where);
					continue;
				}
			}
			calls.push_back(c);
		}
	}
	return calls;
}

// The source texts of a translation file's entries, as the loader reads them.
std::map<std::string, std::string> load_language(const std::string& file, std::string& log_text)
{
	kx_test::TempEnv env;
	xer.open(env.path("log.txt"));
	UTL_translate_load(file);
	xer.close();
	log_text = kx_test::read_file(env.path("log.txt"));
	std::map<std::string, std::string> entries(dictionary.begin(), dictionary.end());
	const int loaded = has_translation;
	UTL_translate_clear();
	if (!loaded) entries.clear();
	return entries;
}

// The printf conversions of a text, in order ("%%" counts as one).
std::string conversions(const std::string& s)
{
	std::string out;
	for (size_t i = 0; i + 1 < s.size(); ++i)
		if (s[i] == '%') {
			out += s[i + 1];
			++i;
		}
	return out;
}

TEST(TranslationFiles, TheScannerReadsEveryKindOfCall)
{
	std::vector<std::string> unreadable;
	const auto calls = scan_calls(unreadable);
	EXPECT_TRUE(unreadable.empty()) << "calls whose texts the scan cannot find (give them a table, or list them in "
	                                   "kPassedTexts): "
	                                << ::testing::PrintToString(unreadable);
	std::set<std::string> texts;
	for (const auto& c : calls) texts.insert(c.texts.begin(), c.texts.end());
	// A literal split over lines, a table element, a record member, a range-for and a
	// parameter filled from a table.
	for (const char* known : {"I am unable to install or update Kestrix. An error occurred while creating new folders. "
	                          "Make sure you are installing to a directory that you have access to!",
	                          "In other words, you need to get a new installer!", "CANCEL THE WHOLE INSTALLATION!",
	                          "Libraries: zlib, libpng, minizip, libarchive, libmd, SDL2, Mesa", "Update Kestrix!",
	                          "You selected the folder path:", "Installing Scenery - Please change DVDs"})
		EXPECT_TRUE(texts.count(known)) << known;
	EXPECT_GT(texts.size(), 40u);
}

TEST(TranslationFiles, EveryTranslatedTextHasAnEntryInBothLanguages)
{
	std::vector<std::string> unreadable;
	const auto calls = scan_calls(unreadable);
	for (const char* lang : kLanguages) {
		std::string log_text;
		const auto entries = load_language(kx_languages::source_text_file(lang), log_text);
		ASSERT_FALSE(entries.empty()) << lang;
		for (const auto& c : calls)
			for (const std::string& text : c.texts)
				EXPECT_TRUE(entries.count(text)) << lang << " has no entry for \"" << text << "\" (" << c.where << ")";
	}
}

TEST(TranslationFiles, BothLoadCleanlyWithTheSameTextsAndFormats)
{
	std::map<std::string, std::string> first;
	for (const char* lang : kLanguages) {
		std::string log_text;
		const auto entries = load_language(kx_languages::source_text_file(lang), log_text);
		EXPECT_EQ(log_text.find("ERROR: language"), std::string::npos) << lang << ":\n" << log_text;
		for (const auto& [source, translation] : entries)
			EXPECT_EQ(conversions(source), conversions(translation)) << lang << ": " << source;
		if (first.empty()) {
			first = entries;
			continue;
		}
		std::set<std::string> a, b;
		for (const auto& e : first) a.insert(e.first);
		for (const auto& e : entries) b.insert(e.first);
		EXPECT_EQ(a, b) << "the languages translate different texts";
	}
}

TEST(TranslationFiles, TheFilesAreLatin1)
{
	for (const char* lang : kLanguages) {
		const std::string bytes = kx_test::read_file(kx_languages::source_text_file(lang));
		ASSERT_FALSE(bytes.empty()) << lang;
		for (size_t i = 0; i + 1 < bytes.size(); ++i) {
			const auto c = static_cast<unsigned char>(bytes[i]);
			const auto n = static_cast<unsigned char>(bytes[i + 1]);
			// A UTF-8 lead byte followed by a continuation byte: the file was saved as UTF-8.
			EXPECT_FALSE(c >= 0xC2 && c <= 0xDF && n >= 0x80 && n <= 0xBF) << lang << " at byte " << i;
			EXPECT_NE(c, '\r') << lang << " at byte " << i;
		}
	}
}

TEST(TranslationFiles, TheLicenceFollowsTheChosenLanguage)
{
	const std::string english = UTIL_licence_text();
	EXPECT_EQ(english.rfind("Kestrix 9 is licensed to you", 0), 0u);
	kx_test::TempEnv env;
	xer.open(env.path("log.txt"));
	UTL_translate_load(kx_languages::source_text_file("german"));
	EXPECT_EQ(UTIL_licence_text().rfind("Kestrix 9 wird Ihnen lizenziert", 0), 0u);
	UTL_translate_clear();
	xer.close();
	EXPECT_EQ(UTIL_licence_text(), english);
}

// The step list is drawn as the screens set it, so its labels come translated.
TEST(TranslationFiles, TheStepListFollowsTheChosenLanguage)
{
	kx_test::TempEnv env;
	xer.open(env.path("log.txt"));
	UTL_translate_load(kx_languages::source_text_file("german"));
	dvd_set_install_steps();
	UTL_translate_clear();
	xer.close();
	ASSERT_EQ(step_names.size(), 6u);
	EXPECT_EQ(step_names[0], "Willkommen");
	EXPECT_EQ(step_names[1], "Zielordner");
	EXPECT_EQ(step_names[5], "Fertig");
	dvd_set_install_steps();
	EXPECT_EQ(step_names[1], "Pick Destination");
	step_names.clear();
	step_funcs.clear();
}

TEST(TranslationFiles, TheyAreCopiedBesideTheInstaller)
{
	for (const char* lang : kLanguages)
		EXPECT_EQ(kx_test::read_file(text_file(KX_INSTALLER_DIR "/", lang)),
		          kx_test::read_file(kx_languages::source_text_file(lang)))
		    << lang;
}

}  // namespace
