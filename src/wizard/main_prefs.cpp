#include "wizard/main_prefs.h"

#include <string>

#include "graphics/ogl_draw.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/http.h"
#include "runtime/pref.h"
#include "shell/hl_mnw.h"
#include "widgets/btn.h"

namespace {
constexpr int kPrefsFile = 11;  // the installer's preferences file
constexpr int kPrefsRead = 0;
constexpr int kPrefsWrite = 1;
constexpr int kFillPanel = 1;
constexpr int kFillNoTopBar = 21;
constexpr int kPanelStyle = 13;
constexpr float kNoReserve = 0;
constexpr float kDefault = -1;  // the window's own margin or extent
constexpr float kProxyPanelHeight = 70;
constexpr char kProxyPanel[] = "Proxy (if you are behind a firewall with a Proxy)";
constexpr char kGeneralPanel[] = "General Preferences";

struct place {
	float x, y;
};
constexpr place kPlatformList = {200, 310};
constexpr char kPlatforms[] = "Macintosh-Windows-Linux";
constexpr char kPlatformLabel[] =
    "Operating System to download Kestrix for:|(Install and copy the entire Kestrix folder to another computer if you "
    "like)";
constexpr int kFirstPlatform = 1;  // target_os of the list's first item

constexpr place kLogBox = {30, 265};
constexpr char kLogLabel[] =
    "|log installer actions... turn this on to output the installer file downloads and stuff to the file log.txt.";
constexpr int kCheckBox = 0;  // not a radio button

constexpr place kStreamBox = {30, 150};
constexpr char kStreamLabel[] =
    "|manually set the number of download streams... typically leave this OFF, and the installer will find the best "
    "number of streams for you.";
constexpr place kStreamCount = {400, 150};
constexpr int kStreamDigits = 1;
constexpr int kFewestStreams = 1;
constexpr int kMostStreams = 4;
constexpr int kAutomaticStreams = 0;

constexpr place kProxyHost = {85, 40};
constexpr place kProxyPort = {85, 20};
constexpr char kProxyHostLabel[] = "-proxy host";
constexpr char kProxyPortLabel[] = "-proxy port";
constexpr int kProxyMaxChars = 65;
constexpr float kProxyFieldWidth = 455;
constexpr int kTakesFocus = 1;
}  // namespace

void prefs_draw()
{
	OGL_plot_back_col();
	BTN_fillwin(kFillPanel, kFillNoTopBar);
	float next_x = 0, next_y = 0;
	BTN_subwin(kNoReserve, kPanelStyle, kDefault, kDefault, kDefault, kProxyPanelHeight, kProxyPanel, &next_x, &next_y);
	BTN_subwin(kNoReserve, kPanelStyle, kDefault, next_y, kDefault, kDefault, kGeneralPanel, &next_x, &next_y);

	int platform = stg.target_os - kFirstPlatform;
	BTN_textlist(kPlatformList.x, kPlatformList.y, &platform, kPlatforms, kPlatformLabel);
	stg.target_os = platform + kFirstPlatform;

	BTN_bool(kLogBox.x, kLogBox.y, &stg.log_actions, kLogLabel, kCheckBox);

	// The tick is read from the count: a tick made while the count is automatic starts
	// it at the least, or the box would untick itself on the next frame.
	int manual = stg.stream_count != kAutomaticStreams;
	BTN_bool(kStreamBox.x, kStreamBox.y, &manual, kStreamLabel, kCheckBox);
	if (!manual) {
		stg.stream_count = kAutomaticStreams;
	} else {
		if (stg.stream_count == kAutomaticStreams) stg.stream_count = kFewestStreams;
		BTN_int_range(kStreamCount.x, kStreamCount.y, &stg.stream_count, kStreamDigits, kFewestStreams, kMostStreams, "");
	}

	BTN_enterstring(kProxyHost.x, kProxyHost.y, &http.proxy_host, kProxyMaxChars, kProxyHostLabel, kProxyFieldWidth,
	                kTakesFocus);
	BTN_enterstring(kProxyPort.x, kProxyPort.y, &http.proxy_port, kProxyMaxChars, kProxyPortLabel, kProxyFieldWidth,
	                kTakesFocus);
	if (!http.proxy_port.empty()) http.proxy_port_int = str_to_int(http.proxy_port);
}

void handle_prefs()
{
	// The window shows, and at its close stores, what the file holds with the user's
	// changes: a file read only at the close would bring the stored values back over them.
	pref.IO_set(kPrefsFile, kPrefsRead);
	DIDIVI_startwind(wind_prefs, 0);
	// The close button of the whole program ends the window too (nothing to answer).
	while (mnw.wind_id == wind_prefs && !quit_requested) {
		prefs_draw();
		DIDIVI_event_proc();
	}
	// Settings changed here would otherwise be lost: the installer ends without saving.
	pref.IO_set(kPrefsFile, kPrefsWrite);
}
