#pragma once
// The wizard's screen functions, by flow. Every one has a name in the trace's name table
// (main_trace.cpp).
#include "wizard/main_globals.h"

// The DVD installer's main menu: the screen every run begins on.
int dvd_start(int first, wizard_screen& s);
// Fills the step list with the install flow's six steps.
void dvd_set_install_steps();

// The install flow.
int dvd_pick_install(int first, wizard_screen& s);
int dvd_eula_install(int first, wizard_screen& s);
int dvd_scenery_install(int first, wizard_screen& s);
int dvd_run_install(int first, wizard_screen& s);
int dvd_done_install(int first, wizard_screen& s);
// Starts the installed copy at dest_dir_path.
int dvd_do_run_sim(int first, wizard_screen& s);
// Starting an installed copy.
int dvd_pick_run_sim(int first, wizard_screen& s);
// The repair flow.
int dvd_pick_repair(int first, wizard_screen& s);
int dvd_scan_repair(int first, wizard_screen& s);
int dvd_confirm_repair(int first, wizard_screen& s);
int dvd_install_repair(int first, wizard_screen& s);
int dvd_done_repair(int first, wizard_screen& s);
// The scenery flow.
int dvd_pick_scenery(int first, wizard_screen& s);
int dvd_scan_scenery(int first, wizard_screen& s);
int dvd_edit_scenery(int first, wizard_screen& s);
int dvd_install_scenery(int first, wizard_screen& s);
int dvd_done_scenery(int first, wizard_screen& s);

// Finding the DVD that holds the next file, and asking for it (one pair per flow).
int dvd_verify_disk_install(int first, wizard_screen& s);
int dvd_switch_disk_install(int first, wizard_screen& s);
int dvd_verify_disk_repair(int first, wizard_screen& s);
int dvd_switch_disk_repair(int first, wizard_screen& s);
int dvd_verify_disk_scenery(int first, wizard_screen& s);
int dvd_switch_disk_scenery(int first, wizard_screen& s);
