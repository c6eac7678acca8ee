#pragma once
// The framework's global objects, built before main (one definition each, in
// hl_globals.cpp), and the shared header constants.
#include <fstream>
#include <string>

#include "runtime/xer_stream.h"

extern std::string stl_global;  // scratch text for alert formatting on the main thread
extern std::string app_path;    // put in front of data-file paths; emptied at start-up
extern std::string dvd_path;    // root of the mounted install DVD, ending in "/"

extern std::ofstream ouf;  // the data-file writer's stream
extern xer_stream xer;     // the log
extern std::ofstream cyc;
extern std::ofstream dat;

// The program-wide quit flag; only main reads it.
extern int app_done;
