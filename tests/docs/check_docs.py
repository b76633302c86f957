#!/usr/bin/env python3
"""Runs the shell sessions that README.md and docs/*.md show and compares
their output with what the page says.

    tests/docs/check_docs.py BUILD_DIR [PAGE...]

A session is a fenced block with the info string `console`: lines starting
with `$ ` are commands, the lines after one are its output (standard output
and standard error as a terminal shows them), a line `...` stands for any
number of lines and `...` in a line for any text. `console norun` blocks are
not run (other platforms, other machines). A code block whose info string names a file (```c host.c) is
written to that file before the page's next session runs.

Each page runs in its own scratch folder that looks like the project root to
the commands (`build`, `include`, `examples`, `proto` lead to the real ones;
the other folders of the root are there, empty, so that an output named
after one fails as it would at the root), one command after the other as in
one fresh shell: what a command exports (`export PATH=...`) holds for the
page's later commands, and nothing else of the build is on the PATH, so a
page can use what its earlier commands wrote and set. `/opt/tarv` in a command is an installed copy of the build in the
scratch folder; a command that needs a binding the build lacks is skipped. `echo $?` prints the status of the command before it.
"""
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile

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
    """(command, expected output lines) of a console block."""
    out = []
    for line in body:
        if line.startswith("$ "):
            out.append((line[2:], []))
        elif out:
            out[-1][1].append(line.rstrip())
    return out


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


def check_page(page, build, root):
    name = os.path.relpath(page, SRC)
    text = open(page, encoding="utf-8").read()
    scratch = os.path.join(root, name.replace("/", "_"))
    os.mkdir(scratch)
    for entry in os.listdir(SRC):
        if entry in ("include", "examples", "proto"):
            os.symlink(os.path.join(SRC, entry), os.path.join(scratch, entry))
        elif os.path.isdir(os.path.join(SRC, entry)) and not entry.startswith((".", "build")):
            os.mkdir(os.path.join(scratch, entry))
    os.symlink(build, os.path.join(scratch, "build"))
    # What the page's commands export, carried from one to the next.
    exported = os.path.join(root, name.replace("/", "_") + ".env")
    env = fresh_environment(build)
    prefix = os.path.join(root, "opt-tarv")
    failures, status, ran = check_links(page, text), 0, 0
    for language, argument, body, line in blocks(text):
        if language != "console":
            if argument and "/" not in argument:
                with open(os.path.join(scratch, argument), "w", encoding="utf-8") as f:
                    f.write("\n".join(body) + "\n")
            continue
        if argument == "norun":
            continue
        for command, expected in sessions(body):
            if "/opt/tarv" in command and not os.path.isdir(prefix):
                subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                               stdout=subprocess.DEVNULL)
            real = command.replace("/opt/tarv", prefix)
            # The bindings are built only where their toolchains are installed.
            missing = [p for p in re.findall(re.escape(prefix) + r"[^\s:]*", real)
                       if ("java" in p or "python3" in p) and not os.path.exists(p)]
            if missing:
                print(f"{name}:{line}: skipped, not built: {missing[0]}")
                continue
            status, actual = run_on_terminal(
                f"if [ -f {exported} ]; then . {exported}; fi; (exit {status}); {real}\n"
                f"status=$?; export -p > {exported}; exit $status", scratch, env)
            ran += 1
            if not matches(expected, actual):
                failures += 1
                print(f"{name}:{line}: $ {command}\n  expected:", *expected, sep="\n    ")
                print("  got:", *actual, sep="\n    ")
    print(f"{name}: {ran} commands, {failures} differ")
    return failures


def main():
    build = os.path.abspath(sys.argv[1])
    pages = sys.argv[2:] or [os.path.join(SRC, "README.md")] + sorted(
        os.path.join(SRC, "docs", p) for p in os.listdir(os.path.join(SRC, "docs"))
        if p.endswith(".md"))
    readme = open(os.path.join(SRC, "README.md"), encoding="utf-8").read()
    unlinked = [p for p in pages if os.path.dirname(p) == os.path.join(SRC, "docs") and
                f"(docs/{os.path.basename(p)})" not in readme]
    for p in unlinked:
        print(f"README.md does not link {os.path.relpath(p, SRC)}")
    root = tempfile.mkdtemp(prefix="tarv-docs-")
    try:
        failures = len(unlinked) + sum(check_page(os.path.abspath(p), build, root) for p in pages)
    finally:
        shutil.rmtree(root)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
