"""Running Trevasto against the local stand-in service, for the reliability
scripts (crash-safety, large-runs, valgrind-download).

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
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
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
    key files and destinations. Removed on exit unless `keep`."""

    def __init__(self, name, keep=False):
        base = os.environ.get("TMPDIR", "/tmp")
        self.path = Path(tempfile.mkdtemp(prefix=f"trevasto-{name}.", dir=base))
        self.keep = keep
        self.root = self.path / "root"
        self.root.mkdir()
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
    """trevasto-service on a port of the system's choosing, over the
    workspace's root, with its request log in the workspace."""

    def __init__(self, workspace, extra_args=()):
        self.ws = workspace
        self.extra_args = list(extra_args)
        self.process = None
        self.port = None
        self.log_path = workspace.path / "requests.log"
        self.err_path = workspace.path / "service.err"

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        self.process = subprocess.Popen(
            [str(service_path()), "--root", str(self.ws.root), "--port", "0",
             "--deployment", str(self.ws.path / "service.conf"),
             "--request-log", str(self.log_path), *self.extra_args],
            stdout=subprocess.PIPE, stderr=open(self.err_path, "wb"), text=True)
        line = self.process.stdout.readline()
        if not line.startswith("listening 127.0.0.1:"):
            self.stop()
            raise RuntimeError(f"the service did not start: {line!r}, "
                               f"{self.err_path.read_text(errors='replace')}")
        self.port = int(line.strip().rsplit(":", 1)[1])
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
        if not self.log_path.exists():
            return 0
        text = self.log_path.read_text(errors="replace")
        if word is None:
            return text.count("\n=== ") + text.startswith("=== ")
        return text.count(f"?{word} HTTP/")


# ------------------------------------------------------------------ client

def _children_cpu():
    """Processor time of the reaped children so far; the service is reaped
    only when it stops, so between two readings this is the program's."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


@dataclass
class RunResult:
    status: int          # exit status; negative: killed by that signal
    seconds: float
    cpu: float           # processor time of the program (user and system)
    stdout: str
    stderr: str
    lines: list = field(default_factory=list)  # stdout lines

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
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def command(self, key_name, dest):
        return [*self.wrapper, str(program_path()), str(self.ws.key_file(key_name))]

    def start(self, key_name, dest, answer="yes"):
        """Starts the program; returns the Popen (stdout and stderr go to
        files in the workspace, see `collect`)."""
        # The program's working folder is a folder of its own, so that
        # anything it writes there shows.
        process = subprocess.Popen(
            self.command(key_name, dest), stdin=subprocess.PIPE,
            stdout=open(self.out_path, "wb"), stderr=open(self.err_path, "wb"),
            env=self.environment(), cwd=self.ws.folder("cwd"))
        process.stdin.write(f"{dest}\n{answer}\n".encode())
        process.stdin.close()
        process.started = time.monotonic()
        process.cpu_before = _children_cpu()
        return process

    def collect(self, process):
        seconds = time.monotonic() - process.started
        cpu = _children_cpu() - process.cpu_before
        out = self.out_path.read_text(errors="replace")
        err = self.err_path.read_text(errors="replace")
        return RunResult(process.returncode, seconds, cpu, out, err, out.splitlines())

    def run(self, key_name, dest, answer="yes", timeout=3600):
        process = self.start(key_name, dest, answer)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        return self.collect(process)

    def run_killed_when(self, key_name, dest, condition, answer="yes", poll=0.01,
                        timeout=3600):
        """Runs the program and polls `condition(seconds since start)` every
        `poll` seconds; once it gives a number, waits that many seconds more
        and kills the program with SIGKILL, unless it ended sooner. Returns
        (result, the moment of the kill or None)."""
        process = self.start(key_name, dest, answer)
        delay = None
        while process.poll() is None and delay is None:
            elapsed = time.monotonic() - process.started
            if elapsed > timeout:
                delay = 0
                break
            delay = condition(elapsed)
            if delay is None:
                time.sleep(poll)
        moment = None
        if delay is not None:
            try:
                process.wait(timeout=delay)
            except subprocess.TimeoutExpired:
                process.send_signal(signal.SIGKILL)
                moment = time.monotonic() - process.started
        process.wait()
        return self.collect(process), moment

    def run_killed_after(self, key_name, dest, seconds, answer="yes"):
        """Runs the program and kills it with SIGKILL after `seconds`, unless
        it ended sooner. Returns (result, killed)."""
        process = self.start(key_name, dest, answer)
        try:
            process.wait(timeout=seconds)
            killed = False
        except subprocess.TimeoutExpired:
            process.send_signal(signal.SIGKILL)
            process.wait()
            killed = True
        return self.collect(process), killed


class EngineClient(Client):
    """The engine alone (tools/engine_run), with switches the dialog never
    sets: `keep_partials` turns compressed transfers off, so that a partial
    file is described and continued; `replace` turns the description of
    existing files off. Its lines: "file N status CODE KIB PATH", "result
    CODE"."""

    def __init__(self, workspace, service, keep_partials=False, replace=False):
        super().__init__(workspace, service)
        self.options = (["--keep-partials"] if keep_partials else []) + \
                       (["--replace"] if replace else [])

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


def wait_until_file_size(path, size, process, timeout):
    """Waits until `path` holds at least `size` bytes or `process` ends;
    True when the size was reached."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and process.poll() is None:
        try:
            if os.stat(path).st_size >= size:
                return True
        except FileNotFoundError:
            pass
        time.sleep(0.02)
    return False


