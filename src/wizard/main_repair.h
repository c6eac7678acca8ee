#pragma once
// The repair flow and the add-or-remove-scenery flow: twins that pick a registered copy,
// scan it, confirm or edit, run and finish. The screens are declared with the others in
// main_screens.h; these are the decisions they share, apart from drawing.
#include <string>

#include "wizard/main_screens.h"

// The number of files a repair installs: wanted versions the filter takes that are not
// on disk as they should be (missing, older, changed by the user). A version that
// removes its file is never counted: there is nothing to install for it.
int repair_files_to_install();

// The done screen's verb of the scenery flow, untranslated, from the run's totals: the
// files fetched and deleted, after success or after errors.
const char* scenery_done_verb(int files_to_fetch, int files_to_delete, bool errors);

