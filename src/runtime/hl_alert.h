#pragma once
// The one alert path. Every reported problem goes through __DIDIVI_alert. The
// foundation owns the front door; how an alert is shown belongs to the shell, which
// installs its presenter once the alert window exists. Until then the default
// presenter writes the alert to the log and to standard error and, for a quitting
// alert, runs the finish-up and exits with status 1.
#include <string>
#include <string_view>

enum alert_type { t_lang = 0, t_alert = 1, t_exit = 2 };

void __DIDIVI_alert(int return_window, std::string line1, std::string line2, std::string line3,
                    std::string line4, int type, const char* file, int line);

// Shows (or logs) one alert on the main thread. Returns only when the process goes on.
using alert_presenter_fn = void (*)(int return_window, const std::string& line1, const std::string& line2,
                                    const std::string& line3, const std::string& line4, int type,
                                    const char* file, int line);
// Returns the presenter that was installed before; null restores the default.
alert_presenter_fn DIDIVI_set_alert_presenter(alert_presenter_fn p);
void DIDIVI_default_alert_presenter(int return_window, const std::string& line1, const std::string& line2,
                                    const std::string& line3, const std::string& line4, int type,
                                    const char* file, int line);

// Off the main thread an alert is not shown but handed to the main thread. The thread
// layer installs this forwarder when it starts; it returns true when it took the alert
// (it may end the calling thread for a quitting alert).
using alert_forwarder_fn = bool (*)(const std::string& line1, const std::string& line2, const std::string& line3,
                                    const std::string& line4, int type, const char* file, int line);
alert_forwarder_fn DIDIVI_set_alert_forwarder(alert_forwarder_fn f);

// Finish-up: with save 1 the preferences are written and the workers stopped; always
// the window is disposed of and the log closed. The shell installs the real one; the
// default closes the log.
using finishup_fn = void (*)(int save);
finishup_fn DIDIVI_set_finishup(finishup_fn f);
void DIDIVI_finishup(int save);

// What a quitting alert does last: exit the process with this status. Tests replace it
// with a function that throws, so that a quitting alert can be observed in-process.
using alert_exit_fn = void (*)(int status);
alert_exit_fn DIDIVI_set_alert_exit(alert_exit_fn f);
[[noreturn]] void DIDIVI_alert_exit(int status);

// Writes an alert to the log in one piece: `heading` (the program's own words, may be
// empty), then the four lines and, unless empty, the location, each on a line of its
// own. A line is written escaped whatever it holds, so no alert, however it names a
// file from outside, can start a log line of its own. Every presenter logs through it.
void DIDIVI_log_alert(std::string_view heading, const std::string& line1, const std::string& line2,
                      const std::string& line3, const std::string& line4, std::string_view where);

// The location text of an alert: "(" + file + " line " + line + ")".
std::string DIDIVI_alert_location(const char* file, int line);

#define DIDIVI_ALERT(l1, l2, l3, l4, type) __DIDIVI_alert(0, (l1), (l2), (l3), (l4), (type), __FILE__, __LINE__)
