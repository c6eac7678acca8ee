#pragma once
// The installer's two translation files in the source tree, and a scope that has one of
// them loaded as the program's language.
#include <cstdlib>
#include <string>

#include "runtime/translate.h"

namespace kx_languages {

inline const char* const kLanguages[] = {"french", "german"};

inline std::string source_dir()
{
	const char* d = std::getenv("KX_SOURCE_DIR");
	return d ? d : KX_SOURCE_DIR_FALLBACK;
}
// The file of `lang` under `base`, the folder that holds Resources/.
inline std::string text_file(const std::string& base, const char* lang)
{
	return base + "Resources/text/" + lang + "/Installer2.txt";
}
inline std::string source_text_file(const char* lang) { return text_file(source_dir() + "/apps/", lang); }

// Loads `lang` for the scope's life and goes back to English after it. The loader's
// complaints go to whatever log the test has open.
class Loaded {
public:
	explicit Loaded(const char* lang) { UTL_translate_load(source_text_file(lang)); }
	~Loaded() { UTL_translate_clear(); }
	Loaded(const Loaded&) = delete;
	Loaded& operator=(const Loaded&) = delete;
};

}  // namespace kx_languages
