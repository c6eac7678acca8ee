#pragma once
// The private temporary folder, where the file list is unpacked and archives wait.
// Without it nothing is unpacked or copied: a bare name would land in the working
// folder, which may be a folder of the user's (downloads) or the DVD itself.

// Sets temp_path to the private temporary folder. When it cannot be made or is not
// ours, temp_path stays empty and one log line names the folder and why. Returns 0 or
// the error code.
int main_take_temp_folder();
// 1 when temp_path names a folder, looking it up once more when it is empty. When it
// still cannot be had: a quitting alert that names the folder tried, and 0.
int main_temp_folder_ready();
