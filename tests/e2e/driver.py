"""Drives the real installer from outside, for the end-to-end flows.

Standard library only. Each flow gets a sandbox (its own HOME, desktop, preferences and
temporary folders, a media root that alone counts as mounted, a staging folder for DVDs
not yet inserted), a fake eject that logs and moves the DVD folder away, and a fake folder
dialog that logs its arguments and answers from a file. The installer runs on a private
X server; the driver clicks at the wizard's named points with xdotool, types keys, and
waits on the lines of the screen trace (20 s at most each, below). On a failure it prints the
last trace lines and the tail of the installer's log.

Every wait is bounded, and every bound is multiplied by one factor, KX_E2E_WAIT_SCALE (1
when unset; a number of at least 1), for a machine loaded enough that the installer and
the desktop's tools answer slowly. A flow given --time-limit fails with its report once
that many seconds have gone, before the test runner would have to kill it.

Every flow ends with a look over its sandboxes: nothing outside what an installer may touch
(the copy the flow installs or repairs, the log, the preferences and registration files,
the private temporary folder) and what the flow itself names with Sandbox.allow_change may
have been made, changed or deleted since the sandbox's first installer started.
"""

import argparse
import ctypes
import json
import math
import os
import shutil
import signal
import stat
import struct
import subprocess
import sys
import time

WAIT_SCALE_VARIABLE = "KX_E2E_WAIT_SCALE"


def wait_scale(text):
    """The factor a KX_E2E_WAIT_SCALE of `text` gives every wait: 1 when empty, else a finite
    number of at least 1 (a smaller one would only make the flows fail at random)."""
    if not text.strip():
        return 1.0
    try:
        scale = float(text)
    except ValueError:
        scale = math.nan
    if not (math.isfinite(scale) and scale >= 1):
        raise SystemExit("%s=%r: the factor of the flows' waits must be a number of at least 1"
                         % (WAIT_SCALE_VARIABLE, text))
    return scale


WAIT_SCALE = wait_scale(os.environ.get(WAIT_SCALE_VARIABLE, ""))


def scaled(seconds):
    """A wait of `seconds` on an unloaded machine, as long as it is on this one."""
    return seconds * WAIT_SCALE


WAIT_SECONDS = scaled(20)
STOP_SECONDS = scaled(5)  # for a program told to end, before it is killed
POLL_SECONDS = 0.05
WINDOW_NAME = "Kestrix DVD Installer"
WINDOW_HEIGHT = 600
SCREEN = "1024x768x24"
LOG_NAME = "Kestrix Installer Log.txt"
REGISTRATION_NAME = "kestrix_install.txt"
PREFS_NAME = "Kestrix Installer.prf"
FAKE_DIALOG_NAME = "fake_dialog.sh"
# The folders a DVD folder lives in, in the drive or out of it.
DRIVE_PLACES = ("media", "staging", "ejected")
TRACE_TAIL = 15
LOG_TAIL = 40

# Named points in interface units (x, y upwards from the window's lower left corner); a
# click goes to the pixel (x, 600 - y).
POINTS = {
    "quit": (55, 23),
    "back": (604, 23),
    "continue": (720, 23),
    # The alert box, 994 (420 by 250, at (190, 175)): its one button and the language
    # chooser's radio buttons.
    "994_button": (400, 193),
    "994_english": (375, 355),
    "994_french": (375, 335),
    "994_german": (375, 315),
    # The modified-file question, 996 (700 by 146, at (50, 227)).
    "996_button1": (146, 280),
    "996_button2": (146, 255),
    "996_button4": (358, 280),
    "996_button5": (358, 255),
    "996_button3": (634, 255),
    # The two-button question, 997 (700 by 206, at (50, 197)).
    "997_button1": (146, 253),
    "997_button2": (146, 228),
}


def choice_point(i):
    """Choice button i of the wizard's content panel."""
    return (500, 350 - 25 * i)


class FlowFailed(Exception):
    pass


def _write_script(path, text):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, 0o755)


# The sandboxes whose guard runs, by root: each is looked over when its flow ends well.
_guarded = {}


def _covered(path, allowed):
    """True when `path` is one of the `allowed` paths or lies below one."""
    return any(path == a or path.startswith(a + "/") for a in allowed)


def _entry(st, path):
    """What shows a change of one entry: its type and mode, its inode and, for anything but
    a folder, its size and modification time (a link: its target too). A folder's own size
    and time move with each name made or removed in it, which shows as an entry of its own."""
    if stat.S_ISDIR(st.st_mode):
        return {"mode": st.st_mode, "inode": st.st_ino}
    entry = {"mode": st.st_mode, "inode": st.st_ino, "size": st.st_size, "mtime": st.st_mtime_ns}
    if stat.S_ISLNK(st.st_mode):
        entry["link target"] = os.readlink(path)
    return entry


class Sandbox:
    """One flow's private world, under work/<flow>/ (made afresh)."""

    def __init__(self, work, flow, sets):
        self.root = os.path.join(os.path.abspath(work), flow)
        _guarded.pop(self.root, None)  # the tree it looked over is gone
        shutil.rmtree(self.root, ignore_errors=True)
        self._allowed = []
        self._before = None
        self.hold = None  # see hold_reads
        self.sets = os.path.abspath(sets)
        with open(os.path.join(self.sets, "manifest.json")) as f:
            self.manifest = json.load(f)
        self.home = self.path("home")
        self.desktop = self.path("home/Desktop")
        self.config = self.path("home/.config")
        self.tmp = self.path("tmp")
        self.media = self.path("media")
        self.staging = self.path("staging")
        self.ejected = self.path("ejected")
        for d in (self.desktop, self.config, self.tmp, self.media, self.staging, self.ejected):
            os.makedirs(d)
        self.trace = self.path("trace.jsonl")
        self.ejects_log = self.path("ejects.log")
        self.dialog_log = self.path("dialog.log")
        self.dialog_answer = self.path("dialog_answer.txt")
        self.sim_log = self.path("sim.log")
        self.eject_cmd = self.path("fake_eject.sh")
        _write_script(self.eject_cmd,
                      "#!/bin/sh\n"
                      "# Logs the volume, then takes the DVD out of the drive: its folder moves away.\n"
                      'echo "$1" >> "%s"\n'
                      'mv "$1" "%s/$(basename "$1").$(date +%%s%%N)"\n' % (self.ejects_log, self.ejected))
        self.dialog_cmd = self.path(FAKE_DIALOG_NAME)
        _write_script(self.dialog_cmd,
                      "#!/bin/sh\n"
                      "# Logs its arguments, one per line, then answers from a file; no file is a cancel.\n"
                      'printf "%%s\\n" "$@" "--" >> "%s"\n'
                      '[ -f "%s" ] || exit 1\n'
                      'cat "%s"\n' % (self.dialog_log, self.dialog_answer, self.dialog_answer))

    def path(self, rel):
        return os.path.join(self.root, rel)

    def hold_reads(self, library, held, drive=None):
        """From the next installer started on, the first read of the file `held` waits
        until the flow lets it go (hold_read.cpp, preloaded from `library`); with `drive`
        (the DVD's folder), every look at a path in it waits as well meanwhile, as on a
        drive that stopped answering. Returns the folder of its signals: "reading" once a
        read waits, "looking" once a look at the drive does, "release" to let them go,
        "released" once the read went on."""
        signals = self.path("hold")
        os.makedirs(signals, exist_ok=True)
        self.allow_change(signals)
        self.hold = (library, held, signals, drive)
        return signals

    def env(self):
        """The installer's environment; with dialog_cmd set to None the installer opens the
        desktop's own folder chooser."""
        e = dict(os.environ)
        e.pop("KESTRIX_FOLDER_DIALOG", None)
        e.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": self.config,
            "XDG_DESKTOP_DIR": self.desktop,
            "TMPDIR": self.tmp,
            "KESTRIX_MEDIA_ROOTS": self.media,
            "KESTRIX_EJECT_COMMAND": self.eject_cmd,
            "KESTRIX_SCREEN_TRACE": self.trace,
            "LIBGL_ALWAYS_SOFTWARE": "1",
            self.manifest["fake_sim"]["log_variable"]: self.sim_log,
        })
        if self.dialog_cmd:
            e["KESTRIX_FOLDER_DIALOG"] = self.dialog_cmd
        if self.hold:
            library, held, signals, drive = self.hold
            e["LD_PRELOAD"] = ":".join(p for p in (library, e.get("LD_PRELOAD")) if p)
            e["KX_E2E_HOLD_FILE"] = held
            e["KX_E2E_HOLD_SIGNALS"] = signals
            if drive:
                e["KX_E2E_HOLD_TREE"] = drive
            # A sanitized installer wants its runtime first among the preloaded libraries.
            e["ASAN_OPTIONS"] = ":".join(o for o in (e.get("ASAN_OPTIONS"), "verify_asan_link_order=0") if o)
        return e

    def private_temp(self):
        """The installer's private temporary folder."""
        return os.path.join(self.tmp, "kestrix-installer-%d" % os.getuid())

    def log_path(self):
        return os.path.join(self.desktop, LOG_NAME)

    def dvd_source(self, set_name, number):
        return os.path.join(self.sets, set_name, self.manifest["sets"][set_name][number - 1])

    def stage_dvd(self, set_name, number):
        """Copies DVD `number` (from 1) of a set into the staging folder."""
        src = self.dvd_source(set_name, number)
        dst = os.path.join(self.staging, os.path.basename(src))
        shutil.copytree(src, dst, symlinks=True)
        self._note_made(dst)
        return dst

    def insert_dvd(self, set_name, number):
        """Puts DVD `number` of a set into the drive: staged, then moved in whole."""
        staged = os.path.join(self.staging, self.manifest["sets"][set_name][number - 1])
        if not os.path.isdir(staged):
            staged = self.stage_dvd(set_name, number)
        dst = os.path.join(self.media, os.path.basename(staged))
        os.rename(staged, dst)
        return dst

    def take_out_dvd(self, set_name, number):
        """Takes DVD `number` of a set out of the drive, back to the staging folder."""
        name = self.manifest["sets"][set_name][number - 1]
        src = os.path.join(self.media, name)
        dst = os.path.join(self.staging, name)
        os.rename(src, dst)
        return dst

    def ejects(self):
        try:
            with open(self.ejects_log) as f:
                return [l.rstrip("\n") for l in f]
        except FileNotFoundError:
            return []

    def answer_dialog(self, text):
        with open(self.dialog_answer, "w") as f:
            f.write(text + "\n")

    # ---- the guard

    def allow_change(self, path):
        """Names a file or folder (with everything below it) that this flow means to be
        made, changed or deleted while its installers run."""
        self._allowed.append(os.path.normpath(os.path.abspath(path)))

    def _allowances(self):
        """What may change: the driver's own files, what any installer may touch, and what
        the flow named. The DVD folders the driver and the fake eject move keep their inode,
        by which they are followed (see _scan), so the drive's folders need no allowance."""
        own = [self.trace, self.ejects_log, self.dialog_log, self.dialog_answer, self.sim_log, self.eject_cmd,
               self.path(FAKE_DIALOG_NAME), self.log_path(), os.path.join(self.config, REGISTRATION_NAME),
               os.path.join(self.config, PREFS_NAME), self.private_temp()]
        return [os.path.normpath(p) for p in own] + self._allowed

    def _scan(self):
        """Every entry of the sandbox no allowance covers (allowed folders are not entered),
        as key -> (path from the root, entry). A DVD folder in one of the drive's places is
        keyed by its inode, and what it holds by the path inside it, so that a DVD moved in,
        out or away by the eject is the same DVD wherever it lies."""
        allowed = self._allowances()
        drive = {self.path(p) for p in DRIVE_PLACES}
        found = {}
        folders = [(self.root, None)]
        while folders:
            folder, inside = folders.pop()
            with os.scandir(folder) as entries:
                for e in entries:
                    if _covered(e.path, allowed):
                        continue
                    st = e.stat(follow_symlinks=False)
                    if inside is not None:
                        key = inside + (e.name,)
                    elif folder in drive and stat.S_ISDIR(st.st_mode):
                        key = ("dvd", st.st_ino)
                    else:
                        key = ("path", os.path.relpath(e.path, self.root))
                    found[key] = (os.path.relpath(e.path, self.root), _entry(st, e.path))
                    if stat.S_ISDIR(st.st_mode):
                        folders.append((e.path, key if key[0] == "dvd" else None))
        return found

    def start_guard(self):
        """Takes the state a flow's end is compared with, once: before the first installer
        in this sandbox starts."""
        if self._before is None:
            self._before = self._scan()
            _guarded[self.root] = self

    def _note_made(self, path):
        """Adds what the driver itself just made at `path` to the state compared with."""
        if self._before is None:
            return
        for key, (rel, entry) in self._scan().items():
            if key not in self._before and _covered(self.path(rel), [path]):
                self._before[key] = (rel, entry)

    def changes(self):
        """What was made, changed or deleted outside the allowances since start_guard, one
        line each: "created: <path>", "changed (<what>): <path>", "deleted: <path>", with
        paths from the sandbox's root (a deleted entry where it was at the start)."""
        if self._before is None:
            return []
        allowed = self._allowances()
        # A path named after the start is no longer looked at.
        before = {k: v for k, v in self._before.items() if not _covered(self.path(v[0]), allowed)}
        now = self._scan()
        lines = []
        for key in set(before) | set(now):
            if key not in now:
                lines.append((before[key][0], "deleted"))
            elif key not in before:
                lines.append((now[key][0], "created"))
            else:
                was, is_ = before[key][1], now[key][1]
                what = [f for f in was if was[f] != is_.get(f)]
                if what:
                    lines.append((now[key][0], "changed (%s)" % ", ".join(what)))
        return ["%s: %s" % (kind, rel) for rel, kind in sorted(lines)]


class XServer:
    """A private X server of its own size."""

    def __init__(self, screen=SCREEN):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        deadline = time.monotonic() + WAIT_SECONDS
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        if not number.strip():
            self.stop()
            raise FlowFailed("the X server did not start")
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=STOP_SECONDS)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Installer:
    """The real installer in a sandbox on a private X server, whose keyboard layout is
    `keyboard` when given (set before the program starts, which reads it once)."""

    def __init__(self, installer, sandbox, args=(), cwd=None, keyboard=None):
        self.sandbox = sandbox
        sandbox.start_guard()
        self.x = XServer()
        env = sandbox.env()
        env["DISPLAY"] = self.x.display
        self.env = env
        try:
            if keyboard:
                subprocess.run(["setxkbmap", "-display", self.x.display, keyboard], env=env, check=True,
                               timeout=WAIT_SECONDS)
            self.proc = subprocess.Popen([installer] + list(args), env=env, cwd=cwd or sandbox.root,
                                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
        except (OSError, subprocess.SubprocessError, FlowFailed):
            # Nobody else knows of this X server yet: a program that cannot start, or a
            # flow whose time is up meanwhile, must not leave it running.
            self.x.stop()
            raise
        self.group = self.proc.pid  # its process group: a relaunched copy stays in it
        self.window = None
        self.trace_seen = 0  # lines of the trace already matched

    # ---- the trace

    def trace_lines(self):
        try:
            with open(self.sandbox.trace, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            return []
        # A line still being written has no line end yet: it is read on a later look.
        return [json.loads(l.decode("utf-8")) for l in data.split(b"\n")[:-1] if l.strip()]

    def wait_trace(self, what, match, timeout=WAIT_SECONDS):
        """Waits for a trace line after the last one matched for which match(line) holds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            lines = self.trace_lines()
            for i in range(self.trace_seen, len(lines)):
                if match(lines[i]):
                    self.trace_seen = i + 1
                    return lines[i]
            if self.proc.poll() is not None:
                raise FlowFailed("the installer ended (status %d) while waiting for %s" % (self.proc.returncode, what))
            time.sleep(POLL_SECONDS)
        raise FlowFailed("no trace line for %s within %d s" % (what, timeout))

    def wait_screen(self, screen, timeout=WAIT_SECONDS, **fields):
        def match(l):
            return "modal" not in l and l.get("screen") == screen and all(l.get(k) == v for k, v in fields.items())
        return self.wait_trace("screen %s %s" % (screen, fields), match, timeout)

    def wait_modal(self, modal, timeout=WAIT_SECONDS):
        return self.wait_trace("modal %s" % modal, lambda l: l.get("modal") == modal, timeout)

    # ---- input

    def _xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True, timeout=WAIT_SECONDS,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def window_named(self, name):
        """The first shown window on this X server whose title matches `name`: the
        installer's, or one a desktop tool it started opened."""
        out = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", name],
                             env=self.env, timeout=WAIT_SECONDS, stdout=subprocess.PIPE, check=True)
        return out.stdout.split()[0].decode()

    def find_window(self):
        if self.window is None:
            self.window = self.window_named(WINDOW_NAME)
        return self.window

    def click(self, name_or_point):
        x, y = POINTS[name_or_point] if isinstance(name_or_point, str) else name_or_point
        w = self.find_window()
        self._xdotool("mousemove", "--window", w, x, WINDOW_HEIGHT - y)
        self._xdotool("click", "--window", w, 1)

    def click_pixel(self, x, y):
        """A click at a window pixel (x, y downwards from the top left corner)."""
        self.click((x, WINDOW_HEIGHT - y))

    def click_choice(self, i):
        self.click(choice_point(i))

    def focus(self, window):
        """Gives a window the keyboard (there is no window manager to do it): a desktop
        tool's window takes typed keys only then."""
        self._xdotool("windowfocus", "--sync", window)

    def key(self, *keys, window=None):
        self._xdotool("key", "--window", window or self.find_window(), *keys)

    def type(self, text, window=None):
        self._xdotool("type", "--window", window or self.find_window(), text)

    # ---- what the window shows

    def capture(self):
        """The window's pixels as they are now, read from the whole screen (a dump of the
        window alone holds no pixels of a GL window here)."""
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", self.find_window()], env=self.env,
                             timeout=WAIT_SECONDS, stdout=subprocess.PIPE, check=True)
        geometry = dict(l.split("=", 1) for l in out.stdout.decode().split())
        out = subprocess.run(["xwd", "-silent", "-root"], env=self.env, timeout=WAIT_SECONDS,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
        return Capture(out.stdout, (int(geometry["X"]), int(geometry["Y"])))

    # ---- the end

    def wait_exit(self, timeout=WAIT_SECONDS):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise FlowFailed("the installer did not end within %d s" % timeout)

    def stop(self):
        if self.proc.poll() is None:
            try:
                os.killpg(self.group, signal.SIGTERM)
                self.proc.wait(timeout=STOP_SECONDS)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                try:
                    os.killpg(self.group, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                self.proc.wait()
        self.x.stop()

    # ---- a relaunch (needs adopt_orphans() before the start)

    def follow_relaunch(self, timeout=WAIT_SECONDS):
        """Once the process started has ended, follows the one that wrote the next trace
        line under another process id (the copy it started); returns that id."""
        first = self.proc.pid
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line in self.trace_lines()[self.trace_seen:]:
                if line.get("pid") != first:
                    self.proc = AdoptedProcess(line["pid"])
                    self.window = None
                    return line["pid"]
            time.sleep(POLL_SECONDS)
        raise FlowFailed("no process took over from %d within %d s" % (first, timeout))

    def report(self):
        """What a failure prints: the last trace lines and the log's tail."""
        out = ["--- last trace lines (%s)" % self.sandbox.trace]
        try:
            with open(self.sandbox.trace, encoding="utf-8", errors="replace") as f:
                out += [l.rstrip("\n") for l in f.readlines()[-TRACE_TAIL:]]
        except FileNotFoundError:
            out.append("(no trace)")
        out.append("--- log tail (%s)" % self.sandbox.log_path())
        try:
            with open(self.sandbox.log_path(), encoding="latin-1") as f:
                out += [l.rstrip("\n") for l in f.readlines()[-LOG_TAIL:]]
        except FileNotFoundError:
            out.append("(no log)")
        if self.proc.stdout and self.proc.poll() is not None:
            out.append("--- installer output")
            out.append(self.proc.stdout.read().decode("latin-1")[-4000:])
        return "\n".join(out)


def translation(installer, language):
    """The translation file beside the installer for `language` ("french", "german"), as
    source text -> translated text."""
    table = {}
    path = os.path.join(os.path.dirname(installer), "Resources", "text", language, "Installer2.txt")
    with open(path, encoding="latin-1") as f:
        for line in f.read().split("\n"):
            if line.startswith("STRING ") and "====" in line:
                source, text = line[len("STRING "):].split("====", 1)
                table[source] = text
    return table


PR_SET_CHILD_SUBREAPER = 36


def adopt_orphans():
    """Makes this process the one that inherits its descendants' orphans, so that a program
    started by the installer can be waited for once the installer has ended."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise FlowFailed("cannot adopt orphans: errno %d" % ctypes.get_errno())


class AdoptedProcess:
    """A descendant adopted after its parent ended, waited for like a Popen."""

    def __init__(self, pid):
        self.pid = pid
        self.returncode = None
        self.stdout = None

    def poll(self):
        if self.returncode is None:
            try:
                pid, status = os.waitpid(self.pid, os.WNOHANG)
            except ChildProcessError:
                raise FlowFailed("process %d is not ours to wait for (adopt_orphans?)" % self.pid)
            if pid == self.pid:
                self.returncode = os.waitstatus_to_exitcode(status)
        return self.returncode

    def wait(self, timeout=None):
        deadline = time.monotonic() + (WAIT_SECONDS if timeout is None else timeout)
        while self.poll() is None:
            if time.monotonic() >= deadline:
                raise subprocess.TimeoutExpired(str(self.pid), timeout)
            time.sleep(POLL_SECONDS)
        return self.returncode


class Capture:
    """An X screen dump (XWD, true colour, 24 or 32 bits per pixel) read by pixel."""

    HEADER_FIELDS = 25

    def __init__(self, data, origin=(0, 0)):
        fields = struct.unpack(">%dI" % self.HEADER_FIELDS, data[:4 * self.HEADER_FIELDS])
        header_size, self.width, self.height, self.lsb_first = fields[0], fields[4], fields[5], fields[7] == 0
        self.step, self.line, colours = fields[11] // 8, fields[12], fields[19]
        self.masks = fields[14:17]
        if self.step not in (3, 4):
            raise FlowFailed("the screen dump has %d bits per pixel" % fields[11])
        self.pixels = data[header_size + 12 * colours:]
        self.origin = origin

    def pixel(self, x, y):
        """(r, g, b) at a window pixel (x, y downwards from the window's top left corner)."""
        x, y = x + self.origin[0], y + self.origin[1]
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise FlowFailed("pixel (%d, %d) is outside the %d by %d screen" % (x, y, self.width, self.height))
        at = y * self.line + x * self.step
        value = int.from_bytes(self.pixels[at:at + self.step], "little" if self.lsb_first else "big")
        return tuple((value & m) >> ((m & -m).bit_length() - 1) for m in self.masks)


def arguments():
    p = argparse.ArgumentParser()
    p.add_argument("--installer", required=True)
    p.add_argument("--sets", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--time-limit", type=float, default=None,
                   help="seconds the whole flow may take; then it fails with its report")
    p.add_argument("--hold-lib", default=None, help="the library Sandbox.hold_reads preloads")
    return p.parse_args()


def _time_is_up(limit):
    def raise_it(signum, frame):
        raise FlowFailed("the flow's time limit of %d s is up (it grows with %s as set where the tests "
                         "were configured)" % (limit, WAIT_SCALE_VARIABLE))
    return raise_it


def _set_time_limit(limit):
    """From now, the wait under way when `limit` seconds have gone fails the flow; None or
    0 takes the limit away."""
    if limit:
        signal.signal(signal.SIGALRM, _time_is_up(limit))
        signal.setitimer(signal.ITIMER_REAL, limit)
    else:
        signal.setitimer(signal.ITIMER_REAL, 0)


def check_guards():
    """Fails when a guarded sandbox changed outside its allowances, listing each entry."""
    found = []
    for root, box in sorted(_guarded.items()):
        lines = box.changes()
        if lines:
            found.append("%s changed outside what the flow may touch:\n    %s" % (root, "\n    ".join(lines)))
    check(not found, "\n".join(found))


def run_flow(name, body):
    """Runs body(args, start) where start(sandbox, *installer_args) starts an installer (or
    the `program=` given, on the `keyboard=` layout) that is stopped afterwards. Once the body
    has gone well and every installer is stopped, each sandbox an installer ran in is looked
    over (check_guards). Exits 0 on success, 1 with the report on failure, also when the
    --time-limit is up: the report and the stop then run without a limit."""
    args = arguments()
    started = []

    def start(sandbox, *installer_args, cwd=None, program=None, keyboard=None):
        inst = Installer(program or args.installer, sandbox, installer_args, cwd, keyboard)
        started.append(inst)
        return inst

    try:
        _set_time_limit(args.time_limit)
        body(args, start)
        _set_time_limit(None)
        # Nothing may move while the sandboxes are looked over.
        for inst in started:
            inst.stop()
        check_guards()
    except (FlowFailed, AssertionError, subprocess.SubprocessError) as e:
        _set_time_limit(None)
        print("%s failed: %s" % (name, e), file=sys.stderr)
        for inst in started:
            print(inst.report(), file=sys.stderr)
        sys.exit(1)
    finally:
        _set_time_limit(None)
        for inst in started:
            inst.stop()
    print("%s passed" % name)


def check(condition, message):
    if not condition:
        raise FlowFailed(message)


def wait_until(what, condition, timeout=WAIT_SECONDS):
    """Waits for condition() to hold, for something outside the trace (a file the fake
    dialog or eject wrote); returns its value."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(POLL_SECONDS)
    raise FlowFailed("%s did not happen within %d s" % (what, timeout))


# ---- a copy installed through the wizard, for the flows that start from one

INSTALL_WAIT_SECONDS = scaled(90)
CHANGE_DESTINATION = (300, 203)
LICENCE_BOX = (230, 100)
INSTALL_DONE = "Installation was successful."


def install_copy(start, box, set_name="A", parent=None, at_scenery=None):
    """Installs set `set_name` with every DVD of it mounted, into `parent` (the desktop
    unless given, through the folder dialog), with all the scenery unless `at_scenery`
    (called with the installer on the scenery screen) changes the choice, then quits.
    Returns the copy's folder, with its final "/"."""
    for n in range(1, len(box.manifest["sets"][set_name]) + 1):
        box.insert_dvd(set_name, n)
    inst = start(box)
    inst.wait_modal(994)
    inst.key("Return")
    inst.wait_screen("dvd_start", next="dvd_pick_install")
    inst.click("continue")
    if parent is not None:
        inst.wait_screen("dvd_pick_install")
        os.makedirs(parent, exist_ok=True)
        box.answer_dialog(parent)
        inst.click(CHANGE_DESTINATION)
    where = os.path.join(parent or box.desktop, "")
    folder = where + box.manifest["product"] + "/"
    box.allow_change(folder)
    inst.wait_trace("a new folder in %s" % where,
                    lambda l: l.get("screen") == "dvd_pick_install" and l.get("next") == "dvd_eula_install"
                    and "'%s'" % where in l.get("text", ""))
    inst.click("continue")
    inst.wait_screen("dvd_eula_install")
    inst.click(LICENCE_BOX)
    inst.wait_screen("dvd_eula_install", next="dvd_scenery_install")
    inst.click("continue")
    inst.wait_screen("dvd_scenery_install", next="dvd_run_install")
    if at_scenery is not None:
        at_scenery(inst)
    inst.click("continue")
    inst.wait_screen("dvd_done_install", timeout=INSTALL_WAIT_SECONDS, text=INSTALL_DONE, next="wizard_quit")
    # Where Continue leads out of the program, it is the Quit button.
    inst.click("continue")
    check(inst.wait_exit() == 0, "Quit after the install did not end with 0")
    check(os.path.isdir(folder), "the copy %s is not there" % folder)
    return folder
