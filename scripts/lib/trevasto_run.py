"""Running Trevasto against the local stand-in service, for the reliability
scripts (crash-safety, large-runs, valgrind-download) and the bench; the
shell scripts (demo, check-package) start the service through it as well:

    python3 scripts/lib/trevasto_run.py serve PROGRAM WORK ROOT

prints the service's port once it listens and serves until SIGTERM (see
scripts/local-service.bash).

One workspace per run holds the service's root with its key folders, the key
table and both deployment files, the key file that the program is started
with, and the destination folders; it goes when the run ends.

    with Workspace("crash") as ws:
        key = ws.key("K1", encipher=True)
        key.add_file("a.bin", 20 << 20, seed=1)
        with Service(ws) as service:
            result = Client(ws, service).run("K1", ws.folder("dest"))
"""

import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]
MIB = 1 << 20
GIB = 1 << 30


def build_dir():
    """The build whose programs are run: TREVASTO_BUILD_DIR, else build/."""
    return Path(os.environ.get("TREVASTO_BUILD_DIR", TOP / "build"))


def program_path():
    return build_dir() / "app" / "trevasto"


def engine_run_path():
    return build_dir() / "tools" / "engine_run" / "trevasto-engine-run"


def service_path():
    return build_dir() / "tools" / "service" / "trevasto-service"


def ensure_built(targets=("trevasto", "trevasto-service", "trevasto-engine-run")):
    """Configures the build folder when needed and builds only `targets`."""
    folder = build_dir()
    if not (folder / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "-S", str(TOP), "-B", str(folder),
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], check=True,
                       stdout=subprocess.DEVNULL)
    jobs = os.environ.get("TREVASTO_JOBS", "2")
    subprocess.run(["cmake", "--build", str(folder), "-j", jobs, "--target", *targets],
                   check=True, stdout=subprocess.DEVNULL)


def say(script, text):
    print(f"{script}: {text}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------- contents

_WORDS = ("invoice quarterly harbour ledger parcel minutes archive ferry summit "
          "draft tariff beacon lantern orchard quarry meadow").split()


def _seed_block(seed, text):
    """One MiB of seeded bytes: random, or lines of words for files that zip."""
    rng = random.Random(seed)
    if not text:
        return rng.randbytes(MIB)
    lines = []
    size = 0
    while size < MIB:
        line = " ".join(rng.choice(_WORDS) for _ in range(rng.randint(4, 12))) + "\n"
        lines.append(line)
        size += len(line)
    return "".join(lines).encode()[:MIB]


def pattern_chunks(size, seed, text=False):
    """The bytes of a test file, a MiB at a time. Every MiB differs from the
    others (rotated seed block, its index in front), so a piece written in
    the wrong place or a lost block shows in a comparison."""
    block = _seed_block(seed, text)
    index = 0
    left = size
    while left > 0:
        turn = (index * 7919 + 13) % MIB
        chunk = bytearray(block[turn:] + block[:turn])
        chunk[0:24] = b"#%08x %014x\n" % (seed & 0xFFFFFFFF, index)
        take = min(left, MIB)
        yield bytes(chunk[:take])
        left -= take
        index += 1


def write_pattern_file(path, size, seed, text=False):
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as out:
        for chunk in pattern_chunks(size, seed, text):
            out.write(chunk)
    return path


def write_sparse_file(path, size, marks):
    """A file of `size` bytes that holds nothing but zeros on disk except the
    non-zero blocks at the `marks` offsets (each a 4 KiB block naming its
    offset), so that a misplaced or lost piece of a huge file still shows."""
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as out:
        out.truncate(size)
        for offset in marks:
            block = (b"<mark at %016x>" % offset) * 256
            block = block[:max(0, min(4096, size - offset))]
            out.seek(offset)
            out.write(block)
    return path


def digest(path):
    """SHA-256 of a file, or None when it does not exist."""
    h = hashlib.sha256()
    try:
        with open(path, "rb") as f:
            while True:
                piece = f.read(8 * MIB)
                if not piece:
                    break
                h.update(piece)
    except FileNotFoundError:
        return None
    return h.hexdigest()


def same_file(a, b):
    """Byte equality, by cmp (fast on large files)."""
    return subprocess.run(["cmp", "-s", str(a), str(b)]).returncode == 0


# --------------------------------------------------------------- workspace

class Workspace:
    """A temporary folder for one run: service root, deployments, key table,
    key files and destinations. Removed on exit unless `keep`. With `path`,
    a folder the caller made (and removes) instead, and `root` in it."""

    def __init__(self, name, keep=False, path=None, root=None):
        self.owned = path is None
        if self.owned:
            base = os.environ.get("TMPDIR", "/tmp")
            path = tempfile.mkdtemp(prefix=f"trevasto-{name}.", dir=base)
        self.path = Path(path)
        self.keep = keep
        self.root = Path(root) if root is not None else self.path / "root"
        self.root.mkdir(parents=True, exist_ok=True)
        (self.path / "keytable.bin").write_bytes(os.urandom(512))
        (self.path / "service.conf").write_text(
            "service_host = localhost\nkey_table = keytable.bin\n")
        self.keys = {}
        self.key_files = 0

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.cleanup()

    def cleanup(self):
        if not self.owned:
            return
        if self.keep:
            say("workspace", f"kept {self.path}")
        else:
            shutil.rmtree(self.path, ignore_errors=True)

    def key(self, name, **settings):
        key = Key(self.root, name, settings)
        self.keys[name] = key
        return key

    def folder(self, name):
        path = self.path / name
        path.mkdir(parents=True, exist_ok=True)
        return path

    def key_file(self, key_name):
        """A new key file for one start (the program deletes it), so that
        runs started side by side each have their own."""
        self.key_files += 1
        path = self.path / f"{key_name}.{self.key_files}.key"
        path.write_text(f"download={key_name}")
        return path


class Key:
    """A key folder below the service root and its settings file."""

    def __init__(self, root, name, settings):
        self.name = name
        self.folder = root / name
        self.folder.mkdir(parents=True)
        self.conf_path = root / f"{name}.conf"
        self.lines = []
        for setting, value in settings.items():
            self.set(setting, value)
        self.files = []  # relative names, '/' between levels

    def set(self, name, value):
        if isinstance(value, bool):
            value = "yes" if value else "no"
        self.lines.append(f"{name} = {value}")
        self.conf_path.write_text("\n".join(self.lines) + "\n")

    def path(self, relative):
        return self.folder / relative

    def add_file(self, relative, size, seed, text=False, zip=None):
        """A seeded file; `zip` gives its own choice over the key's. (Whether
        files go out enciphered is the key's choice alone.)"""
        write_pattern_file(self.path(relative), size, seed, text)
        return self._added(relative, zip)

    def add_bytes(self, relative, data, zip=None):
        path = self.path(relative)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return self._added(relative, zip)

    def add_sparse(self, relative, size, marks):
        write_sparse_file(self.path(relative), size, marks)
        return self._added(relative, None)

    def _added(self, relative, zip):
        if zip is not None:
            self.set(f"zip.{relative}", zip)
        self.files.append(relative)
        return self.path(relative)


# ----------------------------------------------------------------- service

class Service:
    """trevasto-service (the built one unless `program`) on a port of the
    system's choosing, over the workspace's root, with its request log in
    the workspace unless `request_log` is false. It says where it listens
    on its output, one "listening 127.0.0.1:PORT" line a port, once it
    does: that is the only way any script learns its port."""

    def __init__(self, workspace, extra_args=(), program=None, request_log=True):
        self.ws = workspace
        self.extra_args = list(extra_args)
        self.program = program or service_path()
        self.process = None
        self.port = None
        self.log_path = workspace.path / "requests.log" if request_log else None
        self.err_path = workspace.path / "service.err"

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        log = ["--request-log", str(self.log_path)] if self.log_path else []
        with open(self.err_path, "wb") as err:
            self.process = subprocess.Popen(
                [str(self.program), "--root", str(self.ws.root), "--port", "0",
                 "--deployment", str(self.ws.path / "service.conf"), *log, *self.extra_args],
                stdout=subprocess.PIPE, stderr=err, text=True)
        try:
            line = self.process.stdout.readline()
            found = re.fullmatch(r"listening 127\.0\.0\.1:(\d+)", line.strip())
            if not found:
                raise RuntimeError(f"the service ({self.program}) did not start: {line!r}, "
                                   f"{self.err_path.read_text(errors='replace')}")
        except BaseException:
            self.stop()
            raise
        self.port = int(found.group(1))
        (self.ws.path / "client.conf").write_text(
            f"servers = 127.0.0.1:{self.port}\nkey_table = keytable.bin\n")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def cpu_seconds(self):
        """Processor time the service has used so far (user and system)."""
        fields = Path(f"/proc/{self.process.pid}/stat").read_text().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def requests(self, word=None):
        """How many requests the log holds (of one word, when given)."""
        if not self.log_path or not self.log_path.exists():
            return 0
        text = self.log_path.read_text(errors="replace")
        if word is None:
            return text.count("\n=== ") + text.startswith("=== ")
        return text.count(f"?{word} HTTP/")


# ------------------------------------------------------------------ client

def start_process(command, stdin_text=None, **popen):
    """Starts a command for `reap`, with `stdin_text` (or nothing) as its
    standard input."""
    started = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.PIPE if stdin_text else
                               subprocess.DEVNULL, **popen)
    if stdin_text:
        process.stdin.write(stdin_text.encode())
        process.stdin.close()
    process.started = started
    return process


def running(process):
    """True while the process has not ended; leaves an ended one for `reap`."""
    return os.waitid(os.P_PID, process.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is None


@dataclass
class Reaped:
    status: int          # exit status; negative: killed by that signal
    seconds: float       # from the start to the end
    cpu: float           # its processor time (user and system)
    peak_rss_kib: int    # its largest resident set
    killed_at: float = None  # seconds after the start of the SIGKILL that `reap` sent


def reap(process, timeout=None):
    """Waits for a process from `start_process`, killing it with SIGKILL
    once `timeout` seconds have passed since its start, and takes its own
    resource use (not that of other children)."""
    lock = threading.Lock()
    state = {"ended": False, "killed_at": None}

    def kill():
        with lock:
            if not state["ended"]:
                os.kill(process.pid, signal.SIGKILL)
                state["killed_at"] = time.perf_counter() - process.started

    timer = None
    if timeout is not None:
        timer = threading.Timer(max(0.0, process.started + timeout - time.perf_counter()), kill)
        timer.daemon = True
        timer.start()
    try:
        # Ended but not reaped yet, so that the kill above (which does not
        # go through Popen, whose check would reap it) can never reach
        # another process under the same number.
        os.waitid(os.P_PID, process.pid, os.WEXITED | os.WNOWAIT)
        seconds = time.perf_counter() - process.started
        with lock:
            state["ended"] = True
    finally:
        if timer is not None:
            timer.cancel()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return Reaped(process.returncode, seconds, usage.ru_utime + usage.ru_stime,
                  usage.ru_maxrss, state["killed_at"])


@dataclass
class RunResult:
    status: int          # exit status; negative: killed by that signal
    seconds: float
    cpu: float           # processor time of the program (user and system)
    stdout: str
    stderr: str
    lines: list = field(default_factory=list)  # stdout lines
    peak_rss_kib: int = 0

    def final_lines(self):
        """The file list's status lines in the order shown."""
        return [l for l in self.lines if l in STATUS_TEXTS]


FILE_LINE = re.compile(r"^(.*?)  .*\((\d+) of (\d+)\)$")


def shown_outcomes(lines):
    """(file name, final line) for every file whose final line was shown, in
    order; the name is the last level of the file's path."""
    outcomes = []
    current = None
    for line in lines:
        match = FILE_LINE.match(line)
        if match:
            current = match.group(1)
        elif line in STATUS_TEXTS and current is not None:
            outcomes.append((current, line))
            current = None
    return outcomes


STATUS_TEXTS = ("Complete", "Update File Complete", "File Exists. Download Skipped.",
                "Maximum Downloads Exceeded", "Download Incomplete",
                "Invalid File Name. Download Skipped.", "Download Failed",
                "File In Use. Download Skipped.", "Not Enough Disk Space. Download Failed.",
                "File Too Large. Download Failed.", "Access Denied. Download Failed.")


class Client:
    """The program's console front-end, started with a key file, the
    destination and the answer to the replace question on standard input."""

    def __init__(self, workspace, service, wrapper=(), label="client"):
        self.ws = workspace
        self.service = service
        self.wrapper = list(wrapper)
        self.out_path = workspace.path / f"{label}.out"
        self.err_path = workspace.path / f"{label}.err"

    def environment(self):
        env = dict(os.environ)
        env["TREVASTO_UI"] = "console"
        env["TREVASTO_DEPLOYMENT"] = str(self.ws.path / "client.conf")
        # The program's work folder (its record of work files) belongs to
        # the workspace, shared by every run in it.
        env["XDG_CACHE_HOME"] = str(self.ws.folder("cache"))
        # Nothing but what a script asks for is logged.
        env.pop("TREVASTO_LOG_DIR", None)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def command(self, key_name, dest):
        return [*self.wrapper, str(program_path()), str(self.ws.key_file(key_name))]

    def start(self, key_name, dest, answer="yes"):
        """Starts the program; returns its process for `finish` (stdout and
        stderr go to files in the workspace)."""
        # The program's working folder is a folder of its own, so that
        # anything it writes there shows.
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            return start_process(self.command(key_name, dest), f"{dest}\n{answer}\n",
                                 stdout=out, stderr=err, env=self.environment(),
                                 cwd=self.ws.folder("cwd"))

    def collect(self, reaped):
        out = self.out_path.read_text(errors="replace")
        err = self.err_path.read_text(errors="replace")
        return RunResult(reaped.status, reaped.seconds, reaped.cpu, out, err, out.splitlines(),
                         reaped.peak_rss_kib)

    def finish(self, process, timeout=3600):
        """Waits for a started run (killing it after `timeout` seconds)."""
        return self.collect(reap(process, timeout))

    def run(self, key_name, dest, answer="yes", timeout=3600):
        return self.finish(self.start(key_name, dest, answer), timeout)

    def run_killed_when(self, key_name, dest, condition, answer="yes", poll=0.01,
                        timeout=3600):
        """Runs the program and polls `condition(seconds since start)` every
        `poll` seconds; once it gives a number, waits that many seconds more
        and kills the program with SIGKILL, unless it ended sooner. Returns
        (result, the moment of the kill or None)."""
        process = self.start(key_name, dest, answer)
        delay = None
        while delay is None and running(process):
            elapsed = time.perf_counter() - process.started
            delay = 0 if elapsed > timeout else condition(elapsed)
            if delay is None:
                time.sleep(poll)
        reaped = reap(process, None if delay is None else
                      time.perf_counter() - process.started + delay)
        return self.collect(reaped), reaped.killed_at


class EngineClient(Client):
    """The engine alone (tools/engine_run), with switches the dialog never
    sets: `keep_partials` turns compressed transfers off, so that a partial
    file is described and continued; `replace` turns the description of
    existing files off. Its lines: "file N status CODE KIB PATH", "result
    CODE"."""

    def __init__(self, workspace, service, keep_partials=False, replace=False, log_dir=None):
        super().__init__(workspace, service)
        self.options = (["--keep-partials"] if keep_partials else []) + \
                       (["--replace"] if replace else []) + \
                       (["--log-dir", str(log_dir)] if log_dir else [])

    def command(self, key_name, dest):
        return [str(engine_run_path()), "--deployment", str(self.ws.path / "client.conf"),
                "--key", key_name, "--dest", str(dest), *self.options]

    @staticmethod
    def file_states(result):
        """(status code, KiB, path) per file line of a run."""
        states = []
        for line in result.lines:
            parts = line.split(" ", 5)
            if len(parts) == 6 and parts[0] == "file" and parts[2] == "status":
                states.append((int(parts[3]), int(parts[4]), parts[5]))
        return states


# ----------------------------------------------------------------- checks

def compare_key(key, dest):
    """Names of the key's files that are missing from `dest` or differ."""
    return [rel for rel in key.files if not same_file(key.path(rel), Path(dest) / rel)]


def files_below(folder):
    """Every file below `folder`, relative, '/' between levels."""
    folder = Path(folder)
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())


def human_size(size):
    for unit, scale in (("GiB", GIB), ("MiB", MIB), ("KiB", 1024)):
        if size >= scale:
            return f"{size / scale:.2f} {unit}"
    return f"{size} B"


def sparse_marks(size, count=8):
    """Offsets of marks for a sparse file: its start, around the 2 and 4 GiB
    boundaries, some spread between, and its last block."""
    marks = {0, max(0, size - 4096)}
    for boundary in (2 * GIB, 4 * GIB):
        if boundary + 8192 < size:
            marks.update({boundary - 4096, boundary - 100, boundary + 4096})
    for i in range(1, count):
        marks.add((size * i // count) & ~4095)
    return sorted(m for m in marks if 0 <= m < size)


# ------------------------------------------------------------ shell scripts

def serve(program, work, root):
    """The service for a shell script: PROGRAM serving ROOT with the key
    table, deployments and request log in the folder WORK (see Workspace
    and Service). Prints the port once the service listens, then serves
    until SIGTERM or SIGINT, and stops the service before it ends."""
    def stop(*_):
        raise SystemExit(0)
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    with Service(Workspace("serve", path=work, root=root), program=program) as service:
        print(service.port, flush=True)
        service.process.wait()
    return 1  # the service ended by itself


if __name__ == "__main__":
    if len(sys.argv) != 5 or sys.argv[1] != "serve":
        sys.exit("usage: trevasto_run.py serve PROGRAM WORK ROOT")
    try:
        sys.exit(serve(*sys.argv[2:]))
    except (RuntimeError, OSError) as error:
        sys.exit(f"trevasto_run.py: {error}")
