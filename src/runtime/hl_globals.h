#pragma once
// The framework's global objects, built before main (one definition each, in
// hl_globals.cpp), and the shared header constants.
#include <fstream>
#include <string>
#include <vector>

#include "runtime/hl_math.h"
#include "runtime/rec_menu.h"
#include "runtime/rec_mnw.h"
#include "runtime/rec_ren.h"
#include "runtime/rec_stg.h"
#include "runtime/rec_stls.h"
#include "runtime/xer_stream.h"

extern std::string stl_global;  // scratch text for alert formatting on the main thread
extern std::string app_path;    // put in front of data-file paths; emptied at start-up
extern std::string dvd_path;    // root of the mounted install DVD, ending in "/"

extern std::ofstream ouf;  // the data-file writer's stream
extern xer_stream xer;     // the log
extern std::ofstream cyc;  // never opened in this program
extern std::ofstream dat;  // never opened in this program

// The simulator side's plug-in record; the installer never reads or writes it.
struct plg_struct {
	int word[64];
};
extern plg_struct plg;

// The program-wide quit flag; only main reads it.
extern int app_done;

// Random fractions in [0, 0.9999), filled once at start-up: a reproducible random
// source that callers index with a number of their own.
constexpr int randrat_count = 10000;
extern float randrat[randrat_count];
