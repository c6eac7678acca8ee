#pragma once
// Preference files: a data-file header (version 9002) and one "key value" line per
// setting. scan_class moves one file between disk and a key-to-value map; IO_set names
// the settings of each file and moves them between that map and the variables holding
// them, with "--pref:" + key on the command line overriding the stored value.
#include <map>
#include <string>

class scan_class {
public:
	// mode 0 reads the file into the map; mode 1 opens it for writing.
	scan_class(const std::string& path, int mode);
	// In write mode closes the file and puts it in place.
	~scan_class();
	scan_class(const scan_class&) = delete;
	scan_class& operator=(const scan_class&) = delete;

	// Read mode: stores the setting's number and returns 1 when there is one, else 0 and
	// the value stays. Write mode: writes the line and returns 0.
	int int_io(int* value, const std::string& key);
	// The same for a text setting; an empty text is not written.
	int str_io(std::string* value, const std::string& key);

	int mode;
	std::map<std::string, std::string> values;
	// Read mode: what was found may be written over, since saving loses nothing of it:
	// no file, an empty one, or one of this version.
	bool writable = false;

private:
	// Read mode: the command line's "--pref:" + key, else the file's value.
	bool find(const std::string& key, std::string& text) const;

	std::string final_path_;  // write mode: where the finished file goes
	std::string temp_path_;   // write mode: the name it is written under
	bool writing_ = false;
};

class pref_class {
public:
	// mode 0 reads, 1 writes the settings of file 10, 11 or 12.
	void IO_set(int file, int mode);
	int IO_sta(int, int, std::string) { return 0; }
};

extern pref_class pref;

// The path IO_set uses for a file number (file 11 is absolute, in the preferences folder).
std::string pref_file_path(int file);

// The number a settings text gives: leading white space, an optional sign, then digits
// up to the first other character; 0 when there are none. Clamped to the int range.
int pref_text_to_int(const std::string& text);
