#include "runtime/hl_globals.h"

std::string stl_global;
std::string app_path;
std::string dvd_path;

std::ofstream ouf;
xer_stream xer;
std::ofstream cyc;
std::ofstream dat;

int app_done = 0;
