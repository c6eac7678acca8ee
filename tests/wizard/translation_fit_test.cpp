// The French and German texts can be read where they are drawn: every byte has a glyph
// in the interface font, every push-button label fits inside its button, and every text
// keeps to the room it has before the next widget. Texts are taken from the translation
// files as the program loads them; the rooms from the layouts the screens and boxes draw
// with, measured with the interface font's own advances.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/install.h"
#include "graphics/oglp.h"
#include "runtime/hl_dialogs.h"
#include "runtime/translate.h"
#include "shell/hl_alerts.h"
#include "shell/hl_mnw.h"
#include "widgets/butn_geometry.h"
#include "wizard/main_copies.h"
#include "wizard/main_engine.h"
#include "wizard/main_install.h"
#include "wizard/main_licence.h"
#include "wizard/main_map.h"
#include "wizard/question_windows.h"

#include "language_files.h"

namespace {

using kx_languages::kLanguages;
using kx_languages::Loaded;

constexpr int kAlignLeft = 0, kAlignCentre = 1;
constexpr int kProportional = 0;  // OGL_wrap_lines' advance: the font's own table
constexpr int kOneLine = 1;

// What the screens put between the translated pieces, at lengths a user meets.
constexpr char kName[] = "Kestrix 9.10r1";
constexpr char kParent[] = "/home/pilot/Applications/";
constexpr char kCopy[] = "/home/pilot/Applications/Kestrix 9.10r1/";
constexpr char kFile[] = "All/Global Scenery/+40-080/+45-075.dsf";
constexpr char kSize[] = "1000.0 GB";
constexpr char kCount[] = "12345";
constexpr char kHost[] = "www.corvane-labs.example";
constexpr char kCopyFailed[] =
    "I was unable to copy the file /media/pilot/KESTRIX_1/Kestrix 9.10r1/All/Global Scenery/+40-080/+45-075.dsf.7z "
    "from the DVD to the hard drive. (No such file or directory)";

// A piece of a drawn text: a key the program translates, or what it appends as it is.
struct piece {
	std::string text;
	bool translated;
};
piece key(const char* t) { return {t, true}; }
piece raw(const std::string& t) { return {t, false}; }

constexpr float kNoLimit = 1e9f;
// Where a text stands and how much room it has: its first line at (x, y), wrapped at
// `wrap`, at most `lines` lines; those whose glyphs reach into the rows from `beside_low`
// to `beside_high` end before `right` (a widget stands there).
struct room {
	float x, y, wrap;
	int align;
	int lines;
	float right = kNoLimit;
	float beside_low = -kNoLimit, beside_high = kNoLimit;
};

// One text as a screen or box composes and draws it; `keys` names what a piece that
// comes composed already was made of.
struct drawn_text {
	std::string where;
	std::vector<piece> pieces;
	room r;
	std::vector<std::string> keys = {};
};

// A push button with its translated label, of a fixed width (or 0: as wide as the label).
struct drawn_button {
	std::string where;
	std::string label;
	float x, y, width;
};

// A text as a failure message shows it (the files hold Latin-1).
std::string shown(const std::string& s) { return "\"" + STR_latin1_to_utf8(s) + "\""; }

std::string translated(const piece& p) { return p.translated ? UTL_translate_string(p.text) : p.text; }

// The text the program shows: the pieces joined, each "%d" taken by a count and each
// "%s" by a size.
std::string compose(const std::vector<piece>& pieces)
{
	std::string s;
	for (const piece& p : pieces) s += translated(p);
	for (const auto& [conv, value] : {std::pair{"%d", kCount}, std::pair{"%s", kSize}})
		for (size_t at = s.find(conv); at != std::string::npos; at = s.find(conv, at)) s.replace(at, 2, value);
	return s;
}

// ---- Rooms, from the layouts the program draws with.

BTN_frame_geometry button_bar(float x, float y, float width, const std::string& label)
{
	return BTN_frame1_geometry(btn_bar_button_up, x, y, BTN_action_width(width, label));
}
float bar_top(const BTN_frame_geometry& g)
{
	float top = -kNoLimit;
	for (const BTN_quad& q : g.quads) top = std::max(top, std::max(q.y1, q.y2));
	return top;
}
float bar_left(const BTN_frame_geometry& g) { return g.quads.front().x1; }
float bar_right(const BTN_frame_geometry& g) { return g.quads.back().x2; }
// The bar between its end caps, where a label can stand.
float bar_inside(const BTN_frame_geometry& g) { return g.quads.back().x1 - g.quads.front().x2; }

// How many lines of a text at y stay clear of a widget whose top is at `top`.
int lines_above(float y, float top) { return OGL_rows_above(y, top); }
// How many lines of a text at y come before another text whose first line is at y2.
int lines_before(float y, float y2) { return int((y - y2) / ui_line_height); }

float window_width(int id)
{
	float w = 0, h = 0;
	EXPECT_TRUE(DIDIVI_fixed_window_size(id, w, h)) << id;
	return w;
}

// The wizard's text, with the lines it has before the next widget of its screen.
room screen_text(int lines) { return {wizard_text_x, wizard_text_y, wizard_content_wrap, kAlignLeft, lines}; }
room above_the_panel_bottom() { return screen_text(lines_above(wizard_text_y, wizard_content_panel.y)); }
room above_the_choices()
{
	return screen_text(lines_above(wizard_text_y, bar_top(button_bar(wizard_choice_x, wizard_choice_y(0),
	                                                                  wizard_choice_w, ""))));
}
room above_the_map() { return screen_text(lines_above(wizard_text_y, kMapBottom + kMapHeight)); }
// A copy picker under the text: its first row's radio button, or with no copy its
// question and Find It in that row.
room above_the_copies()
{
	return screen_text(lines_above(wizard_text_y, pick_row_top + btn_bool_cell_rise + btn_bool_cell_half));
}
room above_find_it()
{
	const float top = bar_top(button_bar(pick_find_x, pick_row_top + pick_find_rise, pick_find_width, ""));
	return screen_text(std::min(lines_above(wizard_text_y, top), lines_before(wizard_text_y, pick_row_top)));
}
room above_change_destination()
{
	const float top = bar_top(button_bar(dest_change_x, dest_change_y, dest_change_auto_width, ""));
	return screen_text(lines_above(wizard_text_y, top));
}
room above_the_progress_bar()
{
	const float mid = wizard_progress_left + wizard_progress_width_full / 2;
	const BTN_frame_geometry trough =
	    BTN_frame1_geometry(wizard_progress_trough_style, mid, wizard_progress_y, wizard_progress_width_full);
	return screen_text(lines_above(wizard_text_y, bar_top(trough)));
}
room above_the_licence_box() { return screen_text(lines_before(wizard_text_y, licence_accept_y)); }
room above_the_size_block() { return screen_text(lines_before(wizard_text_y, size_block_y)); }
room progress_text()
{
	return {wizard_progress_text_x, wizard_progress_text_y, wizard_progress_width_full, kAlignLeft,
	        lines_above(wizard_progress_text_y, wizard_content_panel.y)};
}
room size_block()
{
	return {size_block_x, size_block_y, size_block_wrap, kAlignLeft, lines_above(size_block_y, wizard_content_panel.y)};
}
room one_line(float x, float y, float wrap, int align) { return {x, y, wrap, align, kOneLine}; }

// Window 996: the first line before the path, the third above the upper buttons.
float select_wrap() { return window_width(wind_modified_file) - select_alert_wrap_inset; }
room select_first_line()
{
	return {select_alert_first.x, select_alert_first.y, select_wrap(), kAlignLeft,
	        lines_before(select_alert_first.y, select_alert_path.y)};
}
room select_third_line()
{
	const question_button& b = select_alert_buttons[0];
	return {select_alert_third.x, select_alert_third.y, select_wrap(), kAlignLeft,
	        lines_above(select_alert_third.y, bar_top(button_bar(b.x, b.y, b.width, "")))};
}
// Window 997: the message above the buttons, the first caption before the second, the
// second above the window's foot.
room abort_message()
{
	const question_button& b = abort_alert_buttons[0];
	return {abort_alert_message.x, abort_alert_message.y, window_width(wind_two_button) - abort_alert_message_inset,
	        kAlignLeft, lines_above(abort_alert_message.y, bar_top(button_bar(b.x, b.y, b.width, "")))};
}
room abort_caption()
{
	const float wrap = window_width(wind_two_button) - abort_alert_text_inset;
	const int first = lines_before(abort_alert_text1.y, abort_alert_text2.y);
	const int second = lines_above(abort_alert_text2.y, 0);
	return {abort_alert_text1.x, abort_alert_text1.y, wrap, kAlignLeft, std::min(first, second)};
}
// The alert box: line i before line i + 1 (the last before a quitting alert's location).
room alert_line(int i)
{
	const float next = i + 1 < int(std::size(alert_line_y)) ? alert_line_y[i + 1] : alert_location_y;
	const float width = window_width(wind_alert);
	return {width / 2, alert_line_y[i], alert_wrap_share * width, kAlignCentre, lines_before(alert_line_y[i], next)};
}

// ---- Where the program draws its translated texts.

std::vector<drawn_text> alert_texts()
{
	std::vector<drawn_text> t;
	auto alert = [&](const char* where, std::vector<std::vector<piece>> lines) {
		for (size_t i = 0; i < lines.size(); ++i) t.push_back({where, lines[i], alert_line(int(i))});
	};
	alert("not a copy", {{key("You selected the folder path:")},
	                     {raw(kCopy)},
	                     {key("But it does not appear to be an installed copy of Kestrix 9.")},
	                     {key("Please be sure to select the folder that contains the Kestrix application.")}});
	alert("DVD list not unpacked",
	      {{key("DVD scan: The installer cannot extract a file.")},
	       {key("Error: "), raw("No such file or directory")},
	       {key("Compressed File/"), raw(std::string("/media/pilot/KESTRIX_1/") + kName + "/directory.txt.zip")},
	       {key("Destination Path/"), raw("/tmp/kestrix-installer/")}});
	alert("no temporary folder",
	      {{key("The installer cannot make or use its temporary folder.")},
	       {key("Error: "), raw("Operation not permitted. Perhaps you do not have access to a directory or file system")},
	       {key("Temporary Folder: "), raw("/home/pilot/a temporary folder gone/kestrix-installer-1000/")},
	       {key("Set TMPDIR to a folder you can write to and start the installer again.")}});
	alert("web list not unpacked", {{key("The installer cannot extract a file.")},
	                                {key("Error: "), raw("No such file or directory")},
	                                {key("Compressed File: "), raw("/tmp/kestrix-installer/directory.txt.zip")},
	                                {key("Destination: "), raw("/tmp/kestrix-installer/")}});
	alert("web run, a link on the way",
	      {{key("The installer cannot extract a file.")},
	       {raw(ENG_link_on_the_way(std::string(kCopy) + "Global Scenery"))},
	       {key("Compressed File: "), raw("/tmp/kestrix-installer/12.7z")},
	       {key("Destination: "), raw(std::string(kCopy) + "Global Scenery/+40+010/+45+012.dsf")}});
	alert("folder not made",
	      {{key("I am unable to install or update Kestrix. An error occurred while creating new folders. Make sure you "
	            "are installing to a directory that you have access to!")},
	       {key("Error: "), raw("Permission denied")},
	       {key("Install Location: "), raw(kCopy)},
	       {key("Install Path:"), raw(std::string(kCopy) + "Resources/")}});
	alert("copy gone since its scan",
	      {{key("The folder of the copy of Kestrix that I scanned is no longer there:")},
	       {raw(kCopy)},
	       {key("It was moved, renamed or deleted, or its disk was removed. I have not changed anything.")},
	       {key("Please pick the copy again.")}});
	alert("cancel left files",
	      {{key("I could not take back all of the cancelled installation. Some of its files are still in the folder:")},
	       {raw(kCopy)},
	       {key("The installer's log on your desktop names each file that stayed and why.")}});
	alert("copy not registered",
	      {{key("Kestrix 9 was installed in the folder:")},
	       {raw(kCopy)},
	       {key("But I could not add it to my list of installed copies, so the next time the installer starts it will "
	            "not offer this copy. The installer's log on your desktop says why.")}});
	alert("chosen path too long",
	      {{key("The chosen folder's path is too long for the installer: it may hold at most "),
	        raw(std::to_string(kDialogPathMax)), key(" bytes. Please choose a folder with a shorter path.")}});
	alert("newer list format",
	      {{key("OK I am checking the Corvane Labs servers and I am finding file formats that are newer than I can "
	            "understand!")},
	       {key("In other words, you need to get a new installer!")},
	       {key("Please download the newest installer from the download section of the Corvane Labs web site.")}});
	return t;
}

std::vector<drawn_text> question_texts()
{
	std::vector<drawn_text> t;
	for (const char* k : {"I am about to install:", "I am about to DELETE:"})
		t.push_back({"window 996, first line", {key(k)}, select_first_line()});
	for (const char* k : {"but it appears you have modified this file. What to do?",
	                      "because we no longer use this file, but it appears you have modified it. What to do?"})
		t.push_back({"window 996, third line", {key(k)}, select_third_line()});

	for (const char* k :
	     {"Are you sure you want to cancel the installation?  This will delete the partially installed copy of "
	      "Kestrix 9.",
	      "Are you sure you want to cancel the installation?  This will delete the partially installed copy of the "
	      "Kestrix 9 demo.",
	      "Are you sure you want to stop the repair operation?  Kestrix may not be usable until repairs are complete.  "
	      "You can run the repair operation on Kestrix again later to complete repairs.",
	      "Are you sure you want to stop scenery installation?  You can add or remove more scenery later."})
		t.push_back({"window 997, question", {key(k)}, abort_message()});
	// A failed file: the headline, the engine's own message and the advice.
	const char* const errors[][2] = {
	    {"An error occurred during installation:",
	     "You can continue with the installation and attempt to repair the damaged files later, or you can cancel the "
	     "installation."},
	    {"An error occurred during the repair:",
	     "Kestrix may not be usable until you are able to repair the sim without errors."},
	    {"An error occurred during scenery installation:",
	     "You can continue with the installation and attempt to reinstall the damaged files later, or you can stop the "
	     "installation"},
	};
	// A folder on the file's way is a link: it is named instead of the engine's message.
	const char* const link = "The folder %s is a link to another place. The installer writes only into real folders; "
	                         "put the real folder in its place and try again.";
	for (const auto& e : errors) {
		t.push_back({"window 997, failed file",
		             {key(e[0]), raw("\n\n"), raw(kCopyFailed), raw("\n\n"), key(e[1])},
		             abort_message()});
		t.push_back({"window 997, a link on the way",
		             {key(e[0]), raw("\n\n"),
		              raw(UTL_fill_marks(UTL_translate_string(link), {{"%s", std::string(kCopy) + "Global Scenery"}})),
		              raw("\n\n"), key(e[1])},
		             abort_message(),
		             {link}});
	}
	for (const char* k : {"the installation and delete partial installation.", "the installation process.",
	                      "the install.", "the repair.", "the scenery install.", "the repair operation.",
	                      "the demo installation process.", "the demo installation and delete partial installation."})
		t.push_back({"window 997, caption", {key(k)}, abort_caption()});
	return t;
}

std::vector<drawn_text> screen_texts()
{
	std::vector<drawn_text> t;
	auto text = [&](const char* where, std::vector<piece> p, room r) { t.push_back({where, std::move(p), r}); };
	const char* const done_errors =
	    " your scenery; your copy of Kestrix may not be usable.\n\nYou can click Go Back and use the repair and "
	    "add-remove scenery functions to try to reinstall any missing or damaged files.";

	// The main menu.
	text("main menu", {key("Please insert Kestrix 9 DVD number one to begin.")}, above_the_panel_bottom());
	text("main menu", {key("This DVD does not appear to be an Kestrix 9 DVD.")}, above_the_panel_bottom());
	text("main menu", {key("You already have Kestrix 9 installed on this computer.  What would you like to do?")},
	     above_the_choices());
	text("main menu",
	     {key("Welcome to the Kestrix 9 Installer.  I will guide you through the proess of installing "), raw(kName),
	      raw(".")},
	     above_the_panel_bottom());
	text("main menu",
	     {key("This DVD ("), raw(kName),
	      key(") contains global scenery.  You must install the sim before you install the global scenery.")},
	     above_the_panel_bottom());

	// The destination screens, above Change Destination.
	for (const char* prompt : {"Please pick a name for your Kestrix 9 installation...",
	                           "The install name must be a single folder name, without '/', and not '.' or '..'."})
		text("destination", {key(prompt)}, above_change_destination());
	text("destination",
	     {key("The installer cannot remember a copy at this path: it holds a line break or is longer than "),
	      raw(std::to_string(kRegistrationLineMax)), key(" bytes. Please pick another destination or install name.")},
	     above_change_destination());
	text("destination",
	     {key("The folder '"), raw(kName), key("' already exists in the dir '"), raw(kParent),
	      key("'.\n\nPlease change the install name or destination.")},
	     above_change_destination());
	text("destination",
	     {key("I will create the folder '"), raw(kName), key("' in the directory '"), raw(kParent), key("'."),
	      key("\n\n(The folder "), raw(kName), key(" will appear on your desktop.)")},
	     above_change_destination());
	text("demo destination",
	     {key("I will create the folder '"), raw(kName), key("' in the directory '"), raw(kParent), key("'."),
	      key("\n\n(The folder "), raw(kName), raw(" "), key("will appear on your desktop.)")},
	     above_change_destination());

	// The licence, above its accept box.
	text("licence",
	     {key("Kestrix 9 is licensed to you, not sold. You may install it on computers you own or use, run it for your "
	          "own flying, training and enjoyment, and keep copies for your own backup.\n\nYou may not sell, rent, "
	          "lend or give away copies of these DVDs or of the installed program, and you may not take the program "
	          "apart to build another product from it.\n\nKestrix 9 is a simulation for practice and entertainment. "
	          "It is not certified flight training and must never be used to navigate a real aircraft. It comes as it "
	          "is, without any warranty; as far as the law allows, its makers are not liable for any loss that comes "
	          "from using it.\n\nTick the box below to accept these terms.")},
	     above_the_licence_box());

	// The world map's screens.
	text("select scenery",
	     {key("Please pick the scenery you would like to install now.  You can use this installer to add more scenery "
	          "or remove scenery later.  If you fly into an area with no scenery installed, you will see only "
	          "ocean.\n\nClick on the world map to pick select regions to install.")},
	     above_the_map());
	text("edit scenery",
	     {key("Click on the world map to select what scenery you would like to install.  Scenery that you deselect "
	          "will be removed; scenery that you select will be installed.  If you fly into an area with no scenery "
	          "installed, you will see only ocean.")},
	     above_the_map());

	// The copy pickers: with several copies the rows stand under the text, with none
	// the question and Find It.
	for (const char* question : {"Please pick which copy of Kestrix 9 you would like to run.",
	                             "Please pick which copy of Kestrix 9 you would like to repair.",
	                             "Please pick which copy of Kestrix 9 you would like to add scenery to.",
	                             "Please select which copy of Kestrix 9 you would like to update."}) {
		text("copy picker", {key("You have more than one copy of Kestrix 9 installed on this computer.  "), key(question)},
		     above_the_copies());
		text("copy picker", {key(question)}, above_find_it());
	}

	// The DVD change.
	text("change DVD", {key("Please insert DVD number %d and click continue.")}, above_the_panel_bottom());

	// The scan and run screens, above the progress bar.
	for (const char* scan :
	     {" for missing or damaged files.\n\nNote: if you have updated this copy of Kestrix from the Internet, the "
	      "repair operation will remove the updates.  Once the repair has finished, you should reapply the updates "
	      "from the web.",
	      " to see what scenery you already have installed.\n\nNote: I am only checking for the scenery already "
	      "installed from your DVDs.  This scan will not show any custom scenery downloaded from the internet.",
	      " to see what files need updating."})
		text("scan", {key("I am scanning "), raw(kCopy), key(scan)}, above_the_progress_bar());
	for (const char* run : {"I am installing Kestrix in ", "I am repairing ", "I am installing new scenery for "})
		text("run", {key(run), raw(kCopy), raw(".")}, above_the_progress_bar());

	// Confirm Repairs, above the size block.
	text("confirm repairs",
	     {key("I need to install approximately %d files to repair "), raw(kCopy), raw("."),
	      key("\n\nClick continue to begin repairing Kestrix.")},
	     above_the_size_block());

	// The done screens: after a success above their choice, after errors alone.
	text("install done", {key("Installation was successful.")}, above_the_choices());
	text("repair done",
	     {key("I have finished repairing "), raw(kCopy), key(" - click Go Back to return to the main menu.")},
	     above_the_choices());
	for (const char* errors :
	     {"There were errors during the install; your copy of Kestrix may not be usable.\n\nYou can click Go Back and "
	      "use the repair and add-remove scenery functions to try to reinstall any missing or damaged files.",
	      "There were errors during the repair; your copy of Kestrix may not be usable.\n\nYou can click Go Back and "
	      "use the repair and add-remove scenery functions to try to reinstall any missing or damaged files."})
		text("done with errors", {key(errors)}, above_the_panel_bottom());
	for (const char* verb : {"removed", "updated", "installed more", "added and removed"})
		text("scenery done",
		     {key("I have successfully "), key(verb), key(" scenery to match your choices on the map.")},
		     above_the_choices());
	for (const char* verb : {"removing", "updating", "installing more", "adding and removing"})
		text("scenery done with errors", {key("There were errors while "), key(verb), key(done_errors)},
		     above_the_panel_bottom());

	// The web screens.
	text("web welcome",
	     {key("I will guide you through the process of installing the web demo of Kestrix 9."),
	      key("\n\nWarning: you already have Kestrix 9 installed on this computer.  Are you sure you want to install a "
	          "new demo copy of Kestrix 9?")},
	     above_the_panel_bottom());
	for (const char* end : {" to find an update server.", " to find a demo server."})
		text("web search", {key("I am contacting "), raw(kHost), key(end)}, above_the_progress_bar());
	text("web install",
	     {key("I can not download the file '"), raw(kFile),
	      key("'.\n\nYour internet connection may not be working, or the server could be undergoing maintainance or an "
	          "upgrade right now.\n\nI am trying another server now to see if I can still get you a download...")},
	     above_the_progress_bar());
	text("web install",
	     {key("About "), raw("59"), key(" minutes"), key(" left in the install, downloading at "), raw("1234"),
	      key(" kilobytes/second "), key("with "), raw("4"), key(" simultaneous download streams.")},
	     above_the_progress_bar());
	text("web disk space",
	     {key("There is a newer version of Kestrix 9 available, but you do not have enough free disk space to download "
	          "and install the update.\n\nPlease free some space on your hard drive.")},
	     above_the_panel_bottom());
	text("web disk space",
	     {key("You are about to download "), raw(kSize), key(" of compressed data to update to "), raw(kName), raw(".")},
	     above_the_panel_bottom());
	text("web done", {key("This copy of Kestrix ("), raw(kCopy), key(") is already up to date.")}, above_the_choices());
	text("web done", {key("I have finished updating "), raw(kCopy), raw(".")}, above_the_choices());
	text("demo done", {key("I have finished installing the Kestrix 9 web demo at: "), raw(kCopy), raw(".")},
	     above_the_choices());
	return t;
}

std::vector<drawn_text> progress_texts()
{
	std::vector<drawn_text> t;
	for (const char* prefix : {"Installing: ", "Repairing: "})
		t.push_back({"run", {key(prefix), raw(kFile)}, progress_text()});
	for (const char* k : {"Finishing up...", "Finishing Up...", "Scanning %d of %d files."})
		t.push_back({"run", {key(k)}, progress_text()});
	t.push_back({"web search",
	             {key("I am checking the net for the latest version of Kestrix 9 right now, and I am "),
	              key("connecting to the server...")},
	             progress_text()});
	const char* const states[][2] = {
	    {"Deleting ", " because that file is no longer needed!"},
	    {"Downloading and installing ", ", currently "},
	    {"duplicate filename through file ", ", but not installing it because you already have this file."},
	    {"Browsing through file ", ", but not installing it because you don't need this file."},
	};
	for (const auto& st : states)
		t.push_back({"web install", {key(st[0]), raw(kFile), key(st[1]), raw("99"), key("% done with that file.")},
		             progress_text()});
	return t;
}

// The size block under a screen, and on the map's screens beside its two buttons, as
// the verdict writes it for a large disk; each pair of sentences is the enough one and
// the short one.
std::vector<drawn_text> size_block_texts()
{
	std::vector<drawn_text> t;
	constexpr unsigned long long kTotal = 1999999999999ull, kFree = 999999999999ull;
	constexpr float kFits = 5e6f, kTooMuch = 1e10f;
	const char* const format = "Disk size: %s\nFree disk space: %s\nDisk space needed to install: %s.\n\n%s";
	const char* const unknown =
	    "Disk size: unknown\nFree disk space: unknown\nDisk space needed to install: %s.\n\nThis drive does not "
	    "report its size, so I cannot tell whether it has enough free space. Please make sure that it does.";
	auto verdicts = [&](const char* where, const char* const (&pairs)[4], room r) {
		for (size_t i = 0; i < std::size(pairs); i += 2)
			for (float need : {kFits, kTooMuch}) {
				const std::string enough = UTL_translate_string(pairs[i]), shortage = UTL_translate_string(pairs[i + 1]);
				t.push_back({where, {raw(UTIL_disk_verdict(kTotal, kFree, need, enough, shortage).text)}, r,
				             {format, pairs[i], pairs[i + 1]}});
			}
		// A drive that reports no size gets its own block, the same in every place.
		t.push_back({where, {raw(UTIL_disk_verdict(0, 0, kFits, pairs[0], pairs[1]).text)}, r, {unknown}});
	};
	const char* const sentences[] = {
	    "You have enough free disk space to install Kestrix 9 at this location.",
	    "You do not have enough free disk space to install Kestrix 9 at this location.  You can install to a "
	    "different location, or save disk space by installing only some of the global scenery.",
	    "You have enough free disk space to repair this copy of Kestrix.",
	    "You do not have enough free disk space to repair this copy of Kestrix.",
	};
	const char* const map_sentences[] = {
	    "You have enough free disk space to install Kestrix 9 with the selected scenery.",
	    "You do not have enough free disk space to install Kestrix 9 with the selected scenery; change the install "
	    "location to another hard driver or select less scenery.",
	    "You have enough free disk space to install this scenery.",
	    "You do not have enough free disk space to install this scenery.",
	};
	verdicts("size block", sentences, size_block());
	room beside = size_block();
	beside.right = map_select_all.x;
	beside.beside_low = map_select_all.y;
	beside.beside_high = map_select_all.y + wizard_button_h;
	verdicts("size block beside the map's buttons", map_sentences, beside);
	return t;
}

std::vector<drawn_text> label_texts()
{
	std::vector<drawn_text> t;
	for (const char* title :
	     {"Kestrix 9 Installer", "Pick Install Destination.", "End User License Agreement (EULA)", "Select Scenery",
	      "Finished Installing Kestrix", "Run Kestrix", "Installing Kestrix", "Repairing Kestrix",
	      "Installing New Scenery", "Installing Kestrix - Checking DVD...", "Installing Kestrix - Please Change DVDs",
	      "Repairing Kestrix - Checking DVD", "Repairing Kestrix - Please Change DVDs",
	      "Installing Scenery - Verifying DVD", "Installing Scenery - Please change DVDs", "Repair Kestrix 9",
	      "Select Kestrix 9 to Add or Remove Scenery", "Scanning Kestrix for Problems",
	      "Scanning Kestrix 9 for Installed Scenery", "Confirm Repairs", "Finished Repairing Kestrix.",
	      "Finished With Add/Remove Scenery", "Kestrix 9 Web Updater", "Pick Destination", "Check Disk Space",
	      "Installing", "Finshed Web Update", "Finshed Web Demo Install", "Welcome", "Search for Updates",
	      "Check Servers"})
		t.push_back({"title", {key(title)}, one_line(wizard_title_x, wizard_title_y, wizard_content_wrap, kAlignCentre)});
	// A step stays on its row and inside the step panel.
	room step = one_line(wizard_step_x, wizard_step_top, wizard_step_wrap, kAlignLeft);
	step.right = wizard_step_panel.x + wizard_step_panel.w;
	for (const char* s : {"Welcome", "Pick Destination", "License", "Select Scenery", "Install", "Finish",
	                      "Select Kestrix", "Scan For Problems", "Confirm Repairs", "Repair Kestrix",
	                      "Scan Existing Scenery", "Select New Scenery", "Install Scenery", "Search for Updates",
	                      "Check Disk Space", "Install Updates", "Check Servers"})
		t.push_back({"step", {key(s)}, step});
	t.push_back({"licence",
	             {key("I accept this agreement.")},
	             one_line(licence_accept_x, licence_accept_y, licence_accept_wrap, kAlignLeft)});
	// The copy picker's question ends before Find It, in the same row.
	room question = one_line(pick_question_x, pick_row_top, pick_question_wrap, kAlignLeft);
	question.right = bar_left(button_bar(pick_find_x, pick_row_top + pick_find_rise, pick_find_width, ""));
	t.push_back({"copy picker", {key("Is the copy of Kestrix 9 you're looking for missing from this list?")}, question});
	return t;
}

std::vector<drawn_text> all_texts()
{
	std::vector<drawn_text> all;
	for (auto make : {alert_texts, question_texts, screen_texts, progress_texts, size_block_texts, label_texts})
		for (drawn_text& d : make()) all.push_back(std::move(d));
	return all;
}

// Every push button with a translated label, at its place and width.
std::vector<drawn_button> buttons()
{
	std::vector<drawn_button> b;
	for (int gone : {0, 1}) {
		const select_alert_texts_t t = select_alert_texts(gone);
		const std::map<int, std::string> by_result = {
		    {1, t.button1}, {2, t.button2}, {3, t.button3}, {4, t.button4}, {5, t.button5}};
		for (const question_button& q : select_alert_buttons)
			b.push_back({"window 996", by_result.at(q.result), q.x, q.y, q.width});
	}
	for (const question_button& q : abort_alert_buttons)
		for (const char* k : {"Cancel", "Stop", "Continue"})
			b.push_back({"window 997", UTL_translate_string(k), q.x, q.y, q.width});
	for (const char* k : {"Run Kestrix Now", "Add Or Remove Scenery", "Repair Kestrix",
	                      "Install A Second Copy of Kestrix", "Fly Kestrix Now", "Fly Kestrix 9 Now"})
		b.push_back({"choice", UTL_translate_string(k), wizard_choice_x, wizard_choice_y(0), wizard_choice_w});
	b.push_back({"copy picker", UTL_translate_string("Find It"), pick_find_x, pick_row_top + pick_find_rise,
	             pick_find_width});
	return b;
}

// ---- The checks.

void expect_room(const char* lang, const drawn_text& d)
{
	const std::string s = compose(d.pieces);
	const std::vector<std::string> lines = OGL_wrap_lines(s, d.r.wrap, kProportional);
	EXPECT_LE(int(lines.size()), d.r.lines) << lang << ", " << d.where << ": " << shown(s) << " takes " << lines.size()
	                                        << " lines where " << d.r.lines << " fit";
	for (size_t i = 0; i < lines.size(); ++i) {
		const std::string& line = lines[i];
		const int w = ui_text_width(line);
		const float left = ui_text_start_x(d.r.x, w, d.r.align);
		const ogl_band band = OGL_line_band(d.r.y, int(i));
		if (band.top <= d.r.beside_low || band.bottom >= d.r.beside_high) continue;
		EXPECT_LE(left + float(w), d.r.right) << lang << ", " << d.where << ": the line " << shown(line) << " ends at "
		                                      << left + float(w) << ", past " << d.r.right;
	}
}

const std::set<unsigned char>& drawn_as_nothing_but_kept()
{
	static const std::set<unsigned char> kept = {' ', '\n'};  // the blank, and the line break
	return kept;
}

TEST(TranslationFit, EveryTranslatedByteHasAGlyph)
{
	for (const char* lang : kLanguages) {
		const Loaded loaded(lang);
		ASSERT_FALSE(dictionary.empty()) << lang;
		for (const auto& [source, text] : dictionary)
			for (unsigned char c : text) {
				if (drawn_as_nothing_but_kept().count(c)) continue;
				const ogl_cell cell = OGL_glyph_cell(c, charset_UI_diff_space);
				EXPECT_TRUE((cell.col != 0 || cell.row != 0) && ui_char_advance[c] > 0)
				    << lang << ": the byte 0x" << std::hex << int(c) << std::dec << " of " << shown(text)
				    << " is drawn as nothing (the translation of " << shown(source) << ")";
			}
	}
}

TEST(TranslationFit, ButtonLabelsFitInsideTheirButtons)
{
	for (const char* lang : kLanguages) {
		const Loaded loaded(lang);
		for (const drawn_button& b : buttons()) {
			const BTN_frame_geometry bar = button_bar(b.x, b.y, b.width, b.label);
			ASSERT_TRUE(bar.ok);
			EXPECT_LE(ui_text_width(b.label), bar_inside(bar))
			    << lang << ", " << b.where << ": " << shown(b.label) << " is " << ui_text_width(b.label)
			    << " wide in a button of " << b.width;
		}
	}
}

// The destination button is as wide as its label; it must end before the name field's
// label begins, which the field draws on two lines when it is long.
TEST(TranslationFit, ChangeDestinationEndsBeforeTheNameLabel)
{
	for (const char* lang : kLanguages) {
		const Loaded loaded(lang);
		const BTN_frame_geometry change =
		    button_bar(dest_change_x, dest_change_y, dest_change_auto_width, UTL_translate_string("Change Destination"));
		const std::string label = BTN_split_label(UTL_translate_string("Install Name:")).text;
		const float label_left = dest_name_x - btn_field_label_gap - BTN_label_width(label, kAlignLeft);
		EXPECT_LE(bar_right(change), label_left)
		    << lang << ": " << shown(UTL_translate_string("Change Destination")) << " runs into " << shown(label);
	}
}

TEST(TranslationFit, TextsKeepToTheRoomBeforeTheNextWidget)
{
	for (const char* lang : kLanguages) {
		const Loaded loaded(lang);
		for (const drawn_text& d : all_texts()) expect_room(lang, d);
	}
}

// The program's own alerts, with paths of a usual length, stand where the box puts every
// alert that fits: nothing of them is moved down or gives way.
TEST(TranslationFit, TheProgramsAlertsKeepTheirHeightsWhole)
{
	for (const char* lang : kLanguages) {
		const Loaded loaded(lang);
		std::map<std::string, std::vector<std::string>> alerts;
		for (const drawn_text& d : alert_texts()) alerts[d.where].push_back(compose(d.pieces));
		for (const auto& [where, lines] : alerts) {
			const std::vector<alert_text_place> placed = alert_layout(lines, window_width(wind_alert));
			ASSERT_EQ(placed.size(), lines.size());
			for (size_t i = 0; i < lines.size(); ++i) {
				EXPECT_EQ(placed[i].text, lines[i]) << lang << ", " << where;
				EXPECT_EQ(placed[i].y, alert_line_y[i]) << lang << ", " << where << ": " << shown(lines[i]);
			}
		}
	}
}

// A text no place above names (one added later, say) is held to the tightest room the
// program gives a sentence: one line of the alert box.
TEST(TranslationFit, EveryOtherTextFitsAnAlertLine)
{
	for (const char* lang : kLanguages) {
		const Loaded loaded(lang);
		// What the places above drew: a text found in one of them was measured there.
		std::vector<std::string> drawn;
		std::set<std::string> keys;
		for (const drawn_text& d : all_texts()) {
			drawn.push_back(compose(d.pieces));
			keys.insert(d.keys.begin(), d.keys.end());
		}
		for (const drawn_button& b : buttons()) drawn.push_back(b.label);
		for (const char* k : {"Change Destination", "Install Name:"}) drawn.push_back(UTL_translate_string(k));
		for (const auto& [source, text] : dictionary) {
			if (keys.count(source)) continue;
			if (std::any_of(drawn.begin(), drawn.end(), [&](const std::string& d) { return d.find(text) != d.npos; }))
				continue;
			expect_room(lang, {"a text of its own", {raw(text)}, alert_line(0)});
		}
	}
}

}  // namespace
