#pragma once
// The screen trace: with KESTRIX_SCREEN_TRACE=<file> set, the wizard writes one JSON line
// each time what it shows changes, and every modal box one line when it opens, so that
// a driver outside the process can follow the program. Unset, nothing is written and
// nothing changes. Texts are the program's Latin-1 and are written as UTF-8.
#include <string>
#include <vector>

// Whether a trace file is named.
bool UTL_trace_on();
// `s` (Latin-1) as a quoted JSON string in UTF-8.
std::string UTL_trace_json(const std::string& s);
// A JSON array of quoted strings.
std::string UTL_trace_json(const std::vector<std::string>& list);
// Appends one line: "{" + the process id and the frame number + `fields` + "}", where
// `fields` is ", "-led key-value text. One write per line, so processes that share the
// file (a relaunch) never mix their lines.
void UTL_trace_write(const std::string& fields);

// A modal box opens: `modal` is the window number (994, 996, 997) or a name
// ("folder_dialog", "message_box"); `texts` what it says, `labels` its buttons.
void UTL_trace_modal(int window, const std::vector<std::string>& texts, const std::vector<std::string>& labels);
void UTL_trace_modal(const std::string& kind, const std::vector<std::string>& texts,
                     const std::vector<std::string>& labels);
// How many modal lines this process has written: a box that opened and closed again
// left the window it came from, which the wizard's next line must show.
unsigned UTL_trace_modal_count();
