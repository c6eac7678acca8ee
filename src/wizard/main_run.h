#pragma once
// The run screens of the three DVD flows (install, repair, scenery), declared with the
// other screens, and the question asked when a file of a run fails.
#include <string>

#include "wizard/main_screens.h"

// Asks what to do about the run's failed file: the headline, the file's message and
// error, the advice, and two buttons each with its text. 1 for the first button, 0 for
// the second, 3 when the question could not be shown.
int UTIL_cancel_install(std::string headline, std::string advice, std::string label1, std::string text1,
                        std::string label2, std::string text2);

// The run's progress bar with the engine at `file`: the share of the run's KB before
// that file, 0 before the list and 1.0 once every file has been handed out.
float UTIL_run_progress(int file);
