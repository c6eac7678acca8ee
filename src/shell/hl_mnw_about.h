#pragma once
// The about box (window 994): the product and build, the credits and the maker's web
// address; on entry it asks the maker's web host for the published releases and, when
// a newer one is out, offers to fetch the new installer, unpack it and start it. The
// box's logic runs here one frame at a time without drawing, so it works (and is
// tested) without a window; about_frame in hl_mnw_about_draw.cpp draws it.
#include <string>

// What the maker's server list says about the published releases.
struct about_release_info {
	std::string beta_folder, final_folder;        // "BETA" / "FINAL"
	std::string beta_version, final_version;      // "BETA_VERSION" / "FINAL_VERSION"
	std::string beta_installer, final_installer;  // "BETA_INSTALLER_MAC" / "FINAL_INSTALLER_MAC": path on the host
};

// Reads the server list at `path` (data-file header, version 820, "SERVERS"). 1 when
// it was read, 0 when the file is missing or its header is not that.
int about_read_server_list(const std::string& path, about_release_info* out);

// Compares two version texts ("9.10r1", "9.11b2"): numbers by value, letters by
// letter, so 9.9 < 9.10 and a beta "b" comes before a release "r". -1, 0 or 1.
int about_compare_versions(const std::string& a, const std::string& b);

// The running build's version: the build name without the product name ("9.10r1").
std::string about_running_version();

enum about_phase {
	about_fetching_list,  // asking the maker's web host for the server list
	about_offer,          // a newer release is out: the update button is offered
	about_downloading,    // fetching the new installer
	about_done            // a message says how it ended
};

// The box's state, kept from frame to frame while it is open.
struct about_state {
	int phase = about_fetching_list;
	int beta = 0;              // follow the beta releases (the "_get_beta" preference)
	about_release_info info;
	std::string message;       // the sentence shown, already translated
	std::string button;        // the update button's label, when offered
	int percent = 0;           // of the installer's download
	std::string folder = "Resources/preferences/";  // where the installer is unpacked
	std::string list_file;     // where the server list is downloaded
};

// The download slot the box uses.
constexpr int about_http_slot = 0;

// Starts the box: fetches the server list anew.
void about_begin(about_state& st);
// One frame of the box's logic; `update_pressed` is the update button's result. May
// end the program by starting the new installer.
void about_step(about_state& st, int update_pressed);
// The progress line while the installer downloads.
std::string about_progress_text(int percent);

// The frame the box draws (window 994): 0 nothing, 1 the user closed the box, 2 the
// user asked for the maker's web address.
int about_frame(about_state& st);
