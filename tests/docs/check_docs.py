#!/usr/bin/env python3
"""Runs the shell sessions that README.md and docs/*.md show and compares
their output with what the page says, as a reader who pastes them would.

    tests/docs/check_docs.py BUILD_DIR [PAGE...]

A session is a fenced block with the info string `console`: lines starting
with `$ ` are commands, the lines after one are its output (standard output
and standard error as a terminal shows them), a line `...` stands for any
number of lines and `...` in a line for any text. A command may go on over
several lines (an open quote, a line ending in `\\`). `console norun` blocks are
not run (other platforms, other machines). A code block whose info string names a file (```c host.c) is
written to that file before the page's next session runs.

The pages run in the order README.md's "More" table gives them, README.md
first, all in ONE scratch folder that looks like the project root to the
commands (`build`, `include`, `examples`, `proto`, `tests` lead to the real
ones; the other folders of the root are there, empty, so that an output named
after one fails as it would at the root): a page finds what the pages before
it left, so two pages that make different registers must name them apart. A
file block naming a file that an earlier block wrote with other text fails.
Each page's commands run one after the other as in one fresh shell: what a
command exports (`export PATH=...`) holds for the page's later commands, and
nothing else of the build is on the PATH. `/opt/tarv` in a command is an
installed copy of the build in the scratch folder; a command that needs a
binding the build lacks is skipped. `echo $?` prints the status of the
command before it. A `curl` command must say `--fail-with-body`, so that a
reader's script stops on an HTTP error.

A `console background` block is what a reader runs in a second terminal (a
server): its command starts in the background, its output is compared once it
printed as many lines as the block shows, and it is stopped (SIGTERM) when the
page ends. The server listens on a free port: `tarv serve` there gets
`--listen 127.0.0.1:PORT`, `8080` in the page's commands becomes PORT and PORT
in their output `8080`. What a page leaves running is stopped at its end: its
background commands, and the throw-away PostgreSQL clusters that
`tests/postgres/cluster.sh start DIR` made in the folder.
"""
import glob
import os
import pty
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SRC = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FENCE = re.compile(r"^```(\S*)\s*(.*)$")


def blocks(text):
    """(language, argument, lines, first line number) of every fenced block."""
    lines, out, i = text.split("\n"), [], 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m or not m.group(1):
            i += 1
            continue
        start, body = i + 1, []
        i += 1
        while i < len(lines) and lines[i] != "```":
            body.append(lines[i])
            i += 1
        out.append((m.group(1), m.group(2).strip(), body, start))
        i += 1
    return out


def sessions(body):
    """(command, expected output lines) of a console block. A command goes on
    over the next lines while its quotes are open or its line ends in `\\`."""
    out, i = [], 0
    while i < len(body):
        line = body[i]
        i += 1
        if line.startswith("$ "):
            command = line[2:]
            while i < len(body) and (command.endswith("\\") or open_quote(command)):
                command += "\n" + body[i]
                i += 1
            out.append((command, []))
        elif out:
            out[-1][1].append(line.rstrip())
    return out


def open_quote(command):
    """Whether bash reads past the end of the command for a closing quote."""
    check = subprocess.run(["bash", "-n", "-c", command], capture_output=True, text=True)
    return "unexpected EOF while looking for matching" in check.stderr


def matches(expected, actual):
    if not expected:
        return not actual
    if expected[0] == "...":
        return any(matches(expected[1:], actual[k:]) for k in range(len(actual) + 1))
    return bool(actual) and same_line(expected[0], actual[0]) and matches(expected[1:], actual[1:])


def same_line(expected, actual):
    """`...` inside a line stands for any text (times, paths)."""
    if "..." not in expected:
        return expected == actual
    parts = (re.escape(p) for p in expected.split("..."))
    return re.fullmatch(".*".join(parts), actual) is not None


def fresh_environment(build):
    """The environment of a new shell: nothing of this build or its tests."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("TARV")}
    env["PATH"] = os.pathsep.join(
        p for p in env.get("PATH", "").split(os.pathsep)
        if p and not os.path.realpath(p).startswith(os.path.realpath(build)))
    env["LC_ALL"] = "C.UTF-8"
    return env


def run_on_terminal(command, cwd, env):
    """Output of a command as a terminal shows it: both streams, in order."""
    master, slave = pty.openpty()
    proc = subprocess.Popen(["bash", "-c", command], cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=slave, stderr=slave, env=env)
    os.close(slave)
    data = b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal closes when the command ends
            break
        if not chunk:
            break
        data += chunk
    os.close(master)
    status = proc.wait(timeout=300)
    text = data.decode("utf-8", "replace").replace("\r\n", "\n")
    return status, [line.rstrip() for line in text.rstrip("\n").split("\n")] if text else []


def check_links(page, text):
    """Relative links that lead nowhere."""
    bad = 0
    for target in re.findall(r"\]\(([^)#\s]+)(?:#[^)]*)?\)", text):
        if "://" not in target and not os.path.exists(
                os.path.join(os.path.dirname(page), target)):
            print(f"{os.path.relpath(page, SRC)}: link to {target}, which does not exist")
            bad += 1
    return bad


class Folder:
    """The scratch folder every page runs in, and what its pages started."""

    def __init__(self, build, root):
        self.build, self.root = build, root
        self.path = os.path.join(root, "project")
        self.prefix = os.path.join(root, "opt-tarv")
        self.port = free_port()
        self.written = {}  # file name -> (text, the page and line that wrote it)
        self.background = []  # (process, log file)
        os.mkdir(self.path)
        for entry in os.listdir(SRC):
            if entry in ("include", "examples", "proto", "tests"):
                os.symlink(os.path.join(SRC, entry), os.path.join(self.path, entry))
            elif os.path.isdir(os.path.join(SRC, entry)) and not entry.startswith((".", "build")):
                os.mkdir(os.path.join(self.path, entry))
        os.symlink(build, os.path.join(self.path, "build"))

    def command(self, command):
        """The command as run here: the installed copy and the server's port."""
        real = command.replace("/opt/tarv", self.prefix).replace("8080", str(self.port))
        return re.sub(r"\btarv serve\b(?!.*--listen)", f"tarv serve --listen 127.0.0.1:{self.port}",
                      real)

    def output(self, lines):
        return [line.replace(str(self.port), "8080") for line in lines]

    def write(self, name, text, where):
        """A file block; the failure when an earlier block wrote the name otherwise."""
        before = self.written.get(name)
        self.written[name] = (text, where)
        with open(os.path.join(self.path, name), "w", encoding="utf-8") as f:
            f.write(text)
        if before and before[0] != text:
            return f"{where}: {name} was written by {before[1]} with other text; name it apart"
        return None

    def start(self, script, env):
        log = open(os.path.join(self.root, f"background-{len(self.background)}.log"), "w+b")
        proc = subprocess.Popen(["bash", "-c", script], cwd=self.path, stdin=subprocess.DEVNULL,
                                stdout=log, stderr=subprocess.STDOUT, env=env,
                                start_new_session=True)
        self.background.append((proc, log))
        return proc, log

    def stop(self):
        """Stops what the page left running: background commands, clusters."""
        for proc, log in self.background:
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGTERM)
                try:
                    proc.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait()
            log.close()
        self.background = []
        for handle in glob.glob(os.path.join(self.path, "*", "cluster")):
            subprocess.run([os.path.join(SRC, "tests", "postgres", "cluster.sh"), "stop",
                            os.path.dirname(handle)], check=False)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_output(proc, log, expected, seconds=30):
    """The background command's lines once it printed as many as expected."""
    deadline = time.monotonic() + seconds
    while True:
        log.seek(0)
        text = log.read().decode("utf-8", "replace")
        lines = [line.rstrip() for line in text.split("\n")[:-1]]
        if len(lines) >= len(expected) or proc.poll() is not None or time.monotonic() > deadline:
            return lines
        time.sleep(0.05)


def check_page(page, folder):
    name = os.path.relpath(page, SRC)
    text = open(page, encoding="utf-8").read()
    # What the page's commands export, carried from one to the next.
    exported = os.path.join(folder.root, name.replace("/", "_") + ".env")
    env = fresh_environment(folder.build)
    failures, status, ran = check_links(page, text), 0, 0
    try:
        for language, argument, body, line in blocks(text):
            if language != "console":
                if argument and "/" not in argument:
                    clash = folder.write(argument, "\n".join(body) + "\n", f"{name}:{line}")
                    if clash:
                        print(clash)
                        failures += 1
                continue
            if argument == "norun":
                continue
            for command, expected in sessions(body):
                if re.search(r"\bcurl\b", command) and "--fail-with-body" not in command:
                    print(f"{name}:{line}: curl without --fail-with-body exits 0 on an HTTP error")
                    failures += 1
                if "/opt/tarv" in command and not os.path.isdir(folder.prefix):
                    subprocess.run(["cmake", "--install", folder.build, "--prefix", folder.prefix],
                                   check=True, stdout=subprocess.DEVNULL)
                real = folder.command(command)
                # The bindings are built only where their toolchains are installed.
                missing = [p for p in re.findall(re.escape(folder.prefix) + r"[^\s:]*", real)
                           if ("java" in p or "python3" in p) and not os.path.exists(p)]
                if missing:
                    print(f"{name}:{line}: skipped, not built: {missing[0]}")
                    continue
                setup = f"if [ -f {exported} ]; then . {exported}; fi; "
                if argument == "background":
                    proc, log = folder.start(f"{setup}exec {real}", env)
                    actual = wait_for_output(proc, log, expected)
                else:
                    status, actual = run_on_terminal(
                        f"{setup}(exit {status}); {real}\n"
                        f"status=$?; export -p > {exported}; exit $status", folder.path, env)
                actual = folder.output(actual)
                ran += 1
                if not matches(expected, actual):
                    failures += 1
                    print(f"{name}:{line}: $ {command}\n  expected:", *expected, sep="\n    ")
                    print("  got:", *actual, sep="\n    ")
    finally:
        folder.stop()
    print(f"{name}: {ran} commands, {failures} differ")
    return failures


def readme_order():
    """README.md, then the pages its "More" table links, in its order."""
    readme = open(os.path.join(SRC, "README.md"), encoding="utf-8").read()
    more = readme.split("\n## More\n", 1)[-1].split("\n## ", 1)[0]
    pages = [os.path.join(SRC, "README.md")]
    for target in re.findall(r"^\| \[[^]]*\]\((docs/[^)#]+\.md)\)", more, re.M):
        pages.append(os.path.join(SRC, target))
    unlinked = sorted(os.path.join(SRC, "docs", p) for p in os.listdir(os.path.join(SRC, "docs"))
                      if p.endswith(".md") and os.path.join(SRC, "docs", p) not in pages)
    for p in unlinked:
        print(f"README.md's \"More\" table does not link {os.path.relpath(p, SRC)}")
    return pages, len(unlinked)


def main():
    build = os.path.abspath(sys.argv[1])
    pages, failures = readme_order()
    if sys.argv[2:]:
        pages, failures = [os.path.abspath(p) for p in sys.argv[2:]], 0
    root = tempfile.mkdtemp(prefix="tarv-docs-")
    os.chmod(root, 0o755)  # cluster.sh's server runs as postgres when we are root
    try:
        folder = Folder(build, root)
        failures += sum(check_page(p, folder) for p in pages)
    finally:
        shutil.rmtree(root)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
