#pragma once
// The command line, parsed once at start-up into an ordered map of option keys to
// values. Keys keep their dashes ("--fps_test", "-h", "--pref:_lang"); an argument
// without "=" has an empty value. Everything else asks has_option / get_option.
#include <map>
#include <string>
#include <utility>
#include <vector>

class UTL_cmdline {
public:
	// Parses the arguments after the program name, then init_common.
	void init_unix(int argc, const char** argv);
	// The same for one command-line string (white-space separated, no quoting).
	void init_win(const char* line);
	// "--cmnds" lists commands and ends the process with 0; "-h"/"--help" prints the
	// usage and ends the process with 0; otherwise returns.
	void init_common();

	int has_option(const char* key) const;
	std::string get_option(const char* key) const;

	const std::map<std::string, std::string>& options() const { return opts_; }

private:
	void add_option(const std::string& key, const std::string& value);

	std::map<std::string, std::string> opts_;
};

extern UTL_cmdline cmdline;

// The usage text "-h" and "--help" print, without its final line break.
const char* UTL_cmdline_usage();

// The command registry belongs to the shell, which sits above this library, so the
// shell hands "--cmnds" its view of the registry through these two functions.
struct UTL_cmdline_cmnd_source {
	// Every registered command as (name, description), in registry order.
	void (*list_all)(std::vector<std::pair<std::string, std::string>>& out);
	// The entries directly below a command-path prefix.
	void (*list_in_path)(const std::string& prefix, std::vector<std::string>& out);
};
void UTL_cmdline_set_cmnd_source(UTL_cmdline_cmnd_source src);
