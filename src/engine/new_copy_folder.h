#pragma once
// The folder of a new copy belongs to the run that makes it. The run makes it with one
// mkdir at its start, so a folder that is already there (the user's, another
// installer's) is never taken over, and notes every file it puts in it; cancelling the
// run takes back exactly that and never touches anything the user put there.
#include <string>

// Makes dest_dir_path, and only that folder (its parent must exist), as this run's new
// copy, forgetting any earlier run's record. 0 when made; EEXIST when something of
// that name is there already (for a folder the destination screen says so itself, for
// anything else make_dir_error does); any other error is shown with make_dir_error and
// returned.
int ENG_make_new_copy_folder();

// Notes a file or link a run has put in place at `path`, kept only while the run's new
// copy is its own and the path lies in it. Safe on any thread: unpacks note from the
// pools' threads.
void ENG_note_installed_file(const std::string& path);

// Takes back what this run made, when dest_dir_path is the folder it made and still
// that very folder; otherwise touches nothing. The files it noted go, each only while
// it is still the file the run put there; then the product's folders (the only ones a
// run makes) that are empty, innermost first, and the copy's folder when it is empty
// too. A folder of another name stays, empty or not. Nothing is removed through a
// link or on another file system. The record is dropped. True when the copy's folder
// is gone afterwards. `left` (when given) gets how many of the files and folders the
// run made could not be removed; the log names each with the reason. What stays
// because it is the user's is not counted.
bool ENG_take_back_new_copy(int* left = nullptr);

// The run has ended and its copy stays: the record is dropped.
void ENG_forget_new_copy();
