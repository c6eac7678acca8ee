#include "runtime/hl_alert.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "runtime/hl_debug.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_mem.h"

namespace {
std::atomic<alert_presenter_fn> g_presenter{nullptr};
std::atomic<alert_forwarder_fn> g_forwarder{nullptr};
std::atomic<finishup_fn> g_finishup{nullptr};
std::atomic<alert_exit_fn> g_exit{nullptr};
}  // namespace

alert_presenter_fn DIDIVI_set_alert_presenter(alert_presenter_fn p) { return g_presenter.exchange(p); }
alert_forwarder_fn DIDIVI_set_alert_forwarder(alert_forwarder_fn f) { return g_forwarder.exchange(f); }
finishup_fn DIDIVI_set_finishup(finishup_fn f) { return g_finishup.exchange(f); }
alert_exit_fn DIDIVI_set_alert_exit(alert_exit_fn f) { return g_exit.exchange(f); }

void DIDIVI_alert_exit(int status)
{
	if (alert_exit_fn f = g_exit.load()) f(status);
	std::exit(status);
}

void DIDIVI_finishup(int save)
{
	if (finishup_fn f = g_finishup.load()) {
		f(save);
		return;
	}
	xer.flush();
	xer.close();
}

std::string DIDIVI_alert_location(const char* file, int line)
{
	return "(" + std::string(file ? file : "") + " line " + std::to_string(line) + ")";
}

void DIDIVI_log_alert(std::string_view heading, const std::string& line1, const std::string& line2,
                      const std::string& line3, const std::string& line4, std::string_view where)
{
	xer_line l = xer << xer_own(heading);
	l << line1 << "\n" << line2 << "\n" << line3 << "\n" << line4 << "\n";
	if (!where.empty()) l << where << "\n";
	l << std::flush;
}

void DIDIVI_default_alert_presenter(int, const std::string& line1, const std::string& line2,
                                    const std::string& line3, const std::string& line4, int type,
                                    const char* file, int line)
{
	const std::string where = DIDIVI_alert_location(file, line);
	if (type == t_exit) {
		// Where the program was when it had to quit, before anything else can change it.
		if (FILE* crawl = UTL_open_stack_crawl()) {
			UTL_dump_stack(crawl, nullptr, nullptr);
			std::fclose(crawl);
		}
	}
	if (type == t_alert || type == t_exit) {
		dump_mem_stats(
		    "This is the dump_mem_stats call from the following code: if(type==t_exit || type == t_alert || "
		    "recursive_error)");
		DIDIVI_log_alert("\n", line1, line2, line3, line4, where);
		// The lines may name files from outside: the terminal gets them spelled out, as the log does.
		std::string all = xer_escaped(line1) + "\n" + xer_escaped(line2) + "\n" + xer_escaped(line3) + "\n" +
		                  xer_escaped(line4) + "\n" + xer_escaped(where) + "\n";
		std::fputs(all.c_str(), stderr);
	}
	if (type == t_exit) {
		DIDIVI_finishup(0);
		app_done = 1;
		DIDIVI_alert_exit(1);
	}
}

void __DIDIVI_alert(int return_window, std::string line1, std::string line2, std::string line3, std::string line4,
                    int type, const char* file, int line)
{
	if (alert_forwarder_fn f = g_forwarder.load())
		if (f(line1, line2, line3, line4, type, file, line)) return;
	alert_presenter_fn p = g_presenter.load();
	if (!p) p = DIDIVI_default_alert_presenter;
	p(return_window, line1, line2, line3, line4, type, file, line);
}
