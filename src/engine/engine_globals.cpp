#include "engine/engine_globals.h"

std::vector<file_history_struct> sim_info;
std::set<std::string> deleted_files;
int net_failed_deletes = 0;

std::string dest_dir_path;
std::string temp_path;
std::string install_name;
int current_disk = 0;
int want_file_disk = 0;

std::string server_name[10];
std::string server_path[10];
std::string crnt_file_name;
std::string crnt_file_path;

next_struct next;

int g_want_sim = 1;
int g_want_global = 1;

UTL_worker_threads* checksum_workers = nullptr;
