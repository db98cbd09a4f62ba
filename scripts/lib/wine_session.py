"""Running the Windows build under Wine on a virtual display, for the
scripts that test the Win32 dialog and the installer:

    with WineSession("dialog") as wine:
        process = wine.start(["Z:\\...\\trevasto.exe", key_path], env=...)
        window = wine.wait_window("Destination Folder")
        wine.key(window, "Return")

Each session has a fresh Wine prefix in a temporary folder (nothing of the
user's own ~/.wine is read or changed) and its own Xvfb display, and ends
both with itself. Wine draws the windows' frames itself (there is no window
manager), so screenshots show them with their titles.
"""

import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]


def windows_build_dir():
    """The cross-build whose programs are run: TREVASTO_WINDOWS_BUILD_DIR,
    else build-windows/."""
    return Path(os.environ.get("TREVASTO_WINDOWS_BUILD_DIR", TOP / "build-windows"))


def windows_program_path():
    return windows_build_dir() / "app" / "trevasto.exe"


def ensure_windows_program(targets=("trevasto",)):
    """Configures the cross-build when needed and builds the program (and
    any other `targets`) alone; the test suites as a whole are
    scripts/build windows's business."""
    folder = windows_build_dir()
    if not (folder / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "-S", str(TOP), "-B", str(folder),
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                        f"-DCMAKE_TOOLCHAIN_FILE={TOP / 'cmake' / 'toolchain-mingw64.cmake'}",
                        "-DTREVASTO_WITH_QT=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(folder), "--target", *targets, "-j",
                    str(os.cpu_count() or 2)], check=True, stdout=subprocess.DEVNULL)
    return windows_program_path()


def wine_path(path):
    """A Linux path as Windows programs under Wine see it (drive Z: is /)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def tools_missing():
    """The programs a session needs that this machine lacks."""
    return [tool for tool in ("wine", "wineserver", "Xvfb", "xdotool", "import")
            if shutil.which(tool) is None]


class WineSession:
    def __init__(self, name, keep=False):
        self.path = Path(tempfile.mkdtemp(prefix=f"trevasto-wine-{name}.",
                                          dir=os.environ.get("TMPDIR", "/tmp")))
        self.keep = keep
        self.prefix = self.path / "prefix"
        self.xvfb = None
        self.display = None
        self.processes = []

    def __enter__(self):
        try:
            self._start_display()
            self._make_prefix()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def environment(self, extra=None):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            # No Mono or Gecko: a fresh prefix would offer to download them.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "DISPLAY": self.display,
        })
        env.pop("WAYLAND_DISPLAY", None)
        env.update(extra or {})
        return env

    def _start_display(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"

    def _make_prefix(self):
        self.run(["wineboot", "--init"], timeout=300)
        # Wine draws each window's frame and title itself.
        self.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Decorated",
                  "/d", "N", "/f"])
        self.wait_idle()

    def run(self, command, timeout=120, env=None, check=True):
        return subprocess.run(command, env=self.environment(env), timeout=timeout, check=check,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              errors="replace")

    def start(self, command, env=None, **popen):
        process = subprocess.Popen(command, env=self.environment(env), **popen)
        self.processes.append(process)
        return process

    def wait_idle(self, timeout=120):
        """Waits until every program of the prefix has ended."""
        subprocess.run(["wineserver", "-w"], env=self.environment(), timeout=timeout, check=False)

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    def drive_c_path(self, path):
        """A path below drive_c as the prefix's programs name it (C:\\...)."""
        return "C:\\" + str(Path(path).relative_to(self.drive_c)).replace("/", "\\")

    def user_folder(self, *levels):
        """A folder below the prefix's user profile (AppData/Roaming ...)."""
        users = [p for p in (self.prefix / "drive_c" / "users").iterdir()
                 if p.name != "Public" and p.is_dir()]
        return users[0].joinpath(*levels)

    def windows(self, title):
        """Ids of the visible windows whose title is exactly `title`."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                f"^{title}$"], env=self.environment(),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        return found.stdout.split()

    def wait_window(self, title, timeout=60, process=None):
        """The id of a visible window titled `title`, once there is one.
        Fails at once when `process` ends first."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ids = self.windows(title)
            if ids:
                return ids[-1]
            if process is not None and process.poll() is not None:
                raise RuntimeError(f"the program ended ({process.returncode}) before a window "
                                   f"titled {title!r} showed")
            time.sleep(0.2)
        raise RuntimeError(f"no window titled {title!r} showed within {timeout} s")

    def wait_gone(self, title, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.windows(title):
                return
            time.sleep(0.2)
        raise RuntimeError(f"the window titled {title!r} stayed for {timeout} s")

    def key(self, window, *keys):
        """Gives the window the keyboard focus and presses the keys."""
        subprocess.run(["xdotool", "windowactivate", "--sync", window], env=self.environment(),
                       check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "--window", window,
                        *keys], env=self.environment(), check=True)

    def answer_dialog(self, process, during=None, timeout=120, replace=False):
        """Takes a run of Trevasto's dialog from the folder chooser to its
        end: Return in the chooser (which opens in the folder to take), with
        `replace` Return (OK) on the replace question that must follow, then
        `during(dialog window)` while the run goes on, then Return on the
        box that ends the run and on the dialog's Close button. True when
        the dialog's title said the run was complete."""
        chooser = self.wait_window("Destination Folder", process=process)
        dialog = self.wait_window("Downloading File.s.", process=process)
        self.key(chooser, "Return")
        if replace:
            self.key(self.wait_window("Trevasto", process=process), "Return")
            self.wait_gone("Trevasto")
        if during is not None:
            during(dialog)
        box = self.wait_window("Trevasto", timeout=timeout, process=process)
        complete = bool(self.windows("Download Complete"))
        self.key(box, "Return")
        self.wait_gone("Trevasto")
        # The Close button has the focus once the run is over.
        self.key(dialog, "Return")
        return complete

    def screenshot(self, window, path):
        """The window as it shows on the display, as a PNG."""
        Path(path).parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-window", window, str(path)], env=self.environment(),
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        if self.display is not None:
            subprocess.run(["wineserver", "-k"], env=self.environment(), check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.environment(), check=False,
                           timeout=60)
        if self.xvfb is not None and self.xvfb.poll() is None:
            self.xvfb.terminate()
            self.xvfb.wait()
        if self.keep:
            print(f"wine session kept in {self.path}", flush=True)
        else:
            shutil.rmtree(self.path, ignore_errors=True)
