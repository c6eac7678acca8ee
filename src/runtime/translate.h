#pragma once
// String translation: every fixed text the wizard draws goes through
// UTL_translate_string, which gives the loaded language's text or the text itself.
// Main thread only; the dictionary is filled at start-up before anything translates.
#include <initializer_list>
#include <set>
#include <string>
#include <unordered_map>

// Replaces the current language by the entries of a translation file (header
// identifier "TRANSLATION", version 900). A missing or wrongly headed file leaves the
// program untranslated.
void UTL_translate_load(const std::string& path);
// Back to no translation (English).
void UTL_translate_clear();
std::string UTL_translate_string(const std::string& text);

// One value for a mark of a translated text: the mark it fills ("%d" or "%s") and its text.
struct UTL_mark_value {
	const char* mark;
	std::string text;
};
// A translated text is data, never a format: `text` with its marks filled from `values`
// in order, as printf would: the first value fills the first mark, which must be of its
// kind; "%%" stands for '%'. A mark of another kind than the next value's, one past the
// values, or any other '%' stays as it is written.
std::string UTL_fill_marks(const std::string& text, std::initializer_list<UTL_mark_value> values);

extern std::unordered_map<std::string, std::string> dictionary;
extern std::set<std::string> logged;  // texts already reported missing in this run
extern int has_translation;
extern int log_missing;  // "--missing_strings": report each untranslated text once
