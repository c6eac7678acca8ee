#pragma once
// Test helpers shared by every test binary. Nothing here is linked into the product.
#include <string>
#include <vector>

#include "runtime/hl_alert.h"

namespace kx_test {

// A private folder for one test, with HOME, XDG_CONFIG_HOME, XDG_DESKTOP_DIR and TMPDIR
// pointed inside it, so no test ever touches the real home folder. Restores the old
// values and removes the folder when it goes.
class TempEnv {
public:
	TempEnv();
	~TempEnv();
	TempEnv(const TempEnv&) = delete;
	TempEnv& operator=(const TempEnv&) = delete;

	// The folder, ending in "/".
	const std::string& root() const { return root_; }
	std::string path(const std::string& rel) const { return root_ + rel; }

private:
	std::string root_;
	std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved_;
};

// Sets one environment variable (unsets it for a null value) for the life of the
// object, then restores what was there.
class ScopedEnvVar {
public:
	ScopedEnvVar(const char* name, const char* value);
	~ScopedEnvVar();
	ScopedEnvVar(const ScopedEnvVar&) = delete;
	ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

private:
	std::string name_;
	bool had_;
	std::string old_;
};

// Makes `folder` the working folder for the life of the object, then returns to the
// one before: where a bare name would land.
class ScopedWorkingFolder {
public:
	explicit ScopedWorkingFolder(const std::string& folder);
	~ScopedWorkingFolder();
	ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
	ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;

private:
	std::string old_;
};

// Writes a file (making its folders), returns false on failure.
bool write_file(const std::string& path, const std::string& data);
std::string read_file(const std::string& path);
// Where text from outside broke out of its line in a log: the first control byte other
// than the line end, or the first line that begins with `forged`. Empty when none did.
std::string log_breakout(const std::string& log, const std::string& forged);
// Removes a folder tree without following links (test clean-up only).
void remove_tree(const std::string& path);

// A small private file system (tmpfs) mounted on an existing empty folder for the life
// of the object, for tests of walks that must stay on their own file system. Mounting
// needs privileges: where it fails, ok() is false and the test skips.
class ScopedTmpfs {
public:
	explicit ScopedTmpfs(const std::string& folder);
	~ScopedTmpfs();
	ScopedTmpfs(const ScopedTmpfs&) = delete;
	ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
	bool ok() const { return ok_; }

private:
	std::string folder_;
	bool ok_;
};

// Makes the file `path` (or an empty folder, named without a final slash) impossible to
// remove for the life of the object, by a cause a user meets: it is made immutable where
// the test may (root), else the folder holding it loses its write permission (which root
// would ignore), else (root where the file system keeps no such flag) that folder is bound
// read-only onto itself. Where none holds, ok() is false and the test skips.
class ScopedUndeletable {
public:
	explicit ScopedUndeletable(const std::string& path);
	~ScopedUndeletable();
	ScopedUndeletable(const ScopedUndeletable&) = delete;
	ScopedUndeletable& operator=(const ScopedUndeletable&) = delete;
	bool ok() const { return immutable_ || locked_folder_ || bound_read_only_; }

private:
	std::string path_, folder_;
	bool immutable_ = false;
	bool locked_folder_ = false;
	bool bound_read_only_ = false;
	unsigned folder_mode_ = 0;
};

// One recorded alert.
struct RecordedAlert {
	int return_window;
	std::string line1, line2, line3, line4;
	int type;
	std::string file;
	int line;
};

// Thrown in place of exiting the process when a quitting alert ends the program.
struct AlertExit {
	int status;
};

// Installs a presenter that records every alert instead of showing it, and an exit
// that throws AlertExit. Restores both when it goes.
class AlertRecorder {
public:
	AlertRecorder();
	~AlertRecorder();
	std::vector<RecordedAlert> alerts() const;
	void clear();

private:
	alert_presenter_fn old_presenter_;
	alert_exit_fn old_exit_;
};

// While it lives an alert is shown on the thread that raises it, never posted for the
// main thread: for a test that runs the main thread's work on a thread of its own (a
// hang's bound), after another test of the program made its own thread the main one.
class AlertsShownWhereRaised {
public:
	AlertsShownWhereRaised();
	~AlertsShownWhereRaised();

private:
	alert_forwarder_fn old_;
};

}  // namespace kx_test
