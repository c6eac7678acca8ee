#include "runtime/translate.h"

#include <cstring>

#include "runtime/cmdline.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/xmap.h"

std::unordered_map<std::string, std::string> dictionary;
std::set<std::string> logged;
int has_translation = 0;
int log_missing = 0;

namespace {
constexpr int translation_version = 900;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_eoln(char c) { return c == '\0' || c == '\r' || c == '\n'; }

void add_entry(const std::string& text)
{
	const size_t split = text.find("====");
	if (split == std::string::npos) {
		xer << "ERROR: language file line " << text << " missing ==== splitter.\n";
		return;
	}
	// A one-character right side is taken for a stray key press, not a translation.
	if (text.size() - (split + 4) < 2) {
		xer << "ERROR: language file line " << text << " missing right side translation.\n";
		return;
	}
	std::string source = text.substr(0, split);
	std::string translation = text.substr(split + 4);
	STR_unescape(source);
	STR_unescape(translation);
	auto it = dictionary.find(source);
	if (it != dictionary.end()) {
		xer << "ERROR: language line " << text << " is a second translation of " << it->first << "====" << it->second
		    << "\n";
		return;
	}
	dictionary.emplace(std::move(source), std::move(translation));
}
}  // namespace

void UTL_translate_clear()
{
	dictionary.clear();
	logged.clear();
	has_translation = 0;
	log_missing = 0;
}

void UTL_translate_load(const std::string& path)
{
	UTL_translate_clear();
	xmap_class x(path);
	const int versions[] = {translation_version, 0};
	if (x.check_file(xmap_text, versions, "TRANSLATION", nullptr) != translation_version) return;

	const char* p = x.cur;
	const char* e = x.end;
	while (p < e) {
		while (p < e && is_blank(*p)) ++p;
		const char* line = p;
		while (p < e && !is_eoln(*p)) ++p;
		// "STRING", one blank or tab, then the entry up to the end of the line.
		if (p - line >= 7 && std::memcmp(line, "STRING", 6) == 0 && is_blank(line[6]))
			add_entry(std::string(line + 7, p));
		while (p < e && (is_blank(*p) || is_eoln(*p))) ++p;
	}
	has_translation = 1;
	log_missing = cmdline.has_option("--missing_strings");
}

std::string UTL_translate_string(const std::string& text)
{
	if (!has_translation) return text;
	auto it = dictionary.find(text);
	if (it != dictionary.end()) return it->second;
	if (!log_missing || logged.count(text)) return text;
	std::string escaped = text;
	STR_replace_all(escaped, "\r", "\\r");
	STR_replace_all(escaped, "\n", "\\n");
	xer << "STRING " << xer_own(escaped) << "====" << xer_own(escaped) << "\n";
	logged.insert(text);
	return text;
}

std::string UTL_fill_marks(const std::string& text, std::initializer_list<UTL_mark_value> values)
{
	constexpr char percent_mark[] = "%%";
	constexpr size_t mark_len = 2;
	std::string out;
	auto next = values.begin();
	for (size_t at = 0; at < text.size();) {
		if (text.compare(at, mark_len, percent_mark) == 0) {
			out += '%';
			at += mark_len;
		} else if (next != values.end() && text.compare(at, mark_len, next->mark) == 0) {
			out += next->text;
			++next;
			at += mark_len;
		} else {
			out += text[at++];
		}
	}
	return out;
}
