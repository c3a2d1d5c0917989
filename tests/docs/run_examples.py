#!/usr/bin/env python3
"""Runs the documentation's runnable shell examples against the virtual module.

Every fenced block opened with ```sh runnable in README.md and docs/*.md runs as written with
bash -e, build/bin first on the path, against two fresh virtual modules: /tmp/ttyK3316 in
configuration mode and /tmp/ttyK3316-demo in operation mode with the demo traffic. The blocks
of one file run in order in one scratch folder (examples/ there is the repository's), so a
block may use what an earlier one wrote. Any block that fails or outlasts BLOCK_SECONDS fails
the run.

/tmp is made private (a mount namespace with its own tmpfs) so the fixed paths of the examples
never touch a `make run` on the same machine; where no namespace can be made, the two paths are
replaced by private ones in the text run, and the run says so.

Exit status: 0 all ran, 1 a block failed, 77 (skipped) some blocks need what this tree lacks
(k3316-sim --demo or examples/demo.dbc) and every other block ran.

Usage: run_examples.py SOURCE_DIR BIN_DIR
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BLOCK_SECONDS = 30
CONFIG_PORT = "/tmp/ttyK3316"
DEMO_PORT = "/tmp/ttyK3316-demo"
SKIPPED = 77


def runnable_blocks(path):
    """(line number, text) of each ```sh runnable block."""
    blocks, current, start = [], None, 0
    for n, line in enumerate(open(path, encoding="utf-8"), 1):
        if current is None:
            if re.match(r"^```sh\s+runnable\s*$", line):
                current, start = [], n
        elif line.startswith("```"):
            blocks.append((start, "".join(current)))
            current = None
        else:
            current.append(line)
    if current is not None:
        sys.exit(f"run_examples: {path}:{start}: the runnable block is never closed")
    return blocks


def in_private_tmp():
    return os.environ.get("K3316_DOCS_PRIVATE_TMP") == "1"


def reexec_with_private_tmp(source, bindir):
    """Runs this script again with /tmp private; returns its exit code, or None if impossible."""
    for tree in (source, bindir):
        if os.path.realpath(tree).startswith("/tmp/"):
            return None  # the new /tmp would hide the tree itself
    unshare = shutil.which("unshare")
    if not unshare:
        return None
    inner = f'mount -t tmpfs k3316-docs /tmp && exec "$0" "$@"'
    args = [unshare, "--mount", "--propagation", "private"]
    if os.geteuid() != 0:
        args += ["--user", "--map-root-user"]
    probe = subprocess.run(args + ["sh", "-c", "mount -t tmpfs k3316-docs /tmp"], capture_output=True)
    if probe.returncode != 0:
        return None
    env = dict(os.environ, K3316_DOCS_PRIVATE_TMP="1")
    return subprocess.run(args + ["sh", "-c", inner, sys.executable, __file__, source, bindir], env=env).returncode


class Module:
    def __init__(self, sim, link, options, log):
        self.link = link
        self.process = subprocess.Popen([sim, "--link", link] + options, stdout=log, stderr=subprocess.STDOUT,
                                        start_new_session=True)
        deadline = time.monotonic() + 10
        while not os.path.islink(link):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"the virtual module at {link} did not start ({' '.join(options)})")
            time.sleep(0.02)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def main():
    source = os.path.abspath(sys.argv[1])
    bindir = os.path.abspath(sys.argv[2])
    sim = os.path.join(bindir, "k3316-sim")
    if not os.access(sim, os.X_OK):
        print(f"run_examples: {sim} is not built")
        return 1

    if not in_private_tmp():
        code = reexec_with_private_tmp(source, bindir)
        if code is not None:
            return code
    scratch_root = tempfile.mkdtemp(prefix="k3316-docs.")
    substitute = {}
    if not in_private_tmp():
        print("run_examples: no private /tmp here: the ports of the examples are replaced by private paths")
        substitute = {DEMO_PORT: os.path.join(scratch_root, "ttyK3316-demo"),
                      CONFIG_PORT: os.path.join(scratch_root, "ttyK3316")}

    sim_help = subprocess.run([sim, "--help"], capture_output=True, text=True).stdout
    has_demo = "--demo" in sim_help and os.path.isfile(os.path.join(source, "examples", "demo.dbc"))

    files = [os.path.join(source, "README.md")]
    docs = os.path.join(source, "docs")
    if os.path.isdir(docs):
        files += sorted(os.path.join(docs, f) for f in os.listdir(docs) if f.endswith(".md"))

    # The examples' python3 is Debian's, the one python3-can is installed for, whatever other
    # Python the machine puts first.
    env = dict(os.environ, PATH=os.pathsep.join([bindir, "/usr/bin", os.environ.get("PATH", "")]), LC_ALL="C.UTF-8")
    ran = failed = skipped = 0
    for path in files:
        blocks = runnable_blocks(path)
        if not blocks:
            continue
        rel = os.path.relpath(path, source)
        work = tempfile.mkdtemp(prefix="run.", dir=scratch_root)
        os.symlink(os.path.join(source, "examples"), os.path.join(work, "examples"))
        log = open(os.path.join(work, "modules.log"), "w")
        modules = []
        try:
            modules.append(Module(sim, substitute.get(CONFIG_PORT, CONFIG_PORT), [], log))
            demo_options = ["--demo"] if has_demo else ["--mode", "operation", "--traffic", "50", "--traffic-now"]
            modules.append(Module(sim, substitute.get(DEMO_PORT, DEMO_PORT), demo_options, log))
            for line, text in blocks:
                where = f"{rel}:{line}"
                if not has_demo and ("demo.dbc" in text):
                    print(f"SKIP {where}: needs examples/demo.dbc and k3316-sim --demo, which this tree lacks")
                    skipped += 1
                    continue
                for old, new in substitute.items():
                    text = text.replace(old, new)
                started = time.monotonic()
                # A session of its own, so a block that overstays is ended with everything it started.
                shell = subprocess.Popen(["bash", "-e", "-o", "pipefail", "-c", text], cwd=work, env=env,
                                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                         errors="replace", start_new_session=True)
                try:
                    output, _ = shell.communicate(timeout=BLOCK_SECONDS)
                    status = shell.returncode
                except subprocess.TimeoutExpired:
                    os.killpg(shell.pid, signal.SIGKILL)
                    output, _ = shell.communicate()
                    status = f"still running after {BLOCK_SECONDS} s"
                try:
                    os.killpg(shell.pid, signal.SIGKILL)  # what the block left running in the background
                except ProcessLookupError:
                    pass
                output = output[-4000:]
                ran += 1
                seconds = time.monotonic() - started
                if status == 0:
                    print(f"ok   {where} ({seconds:.1f} s)")
                else:
                    failed += 1
                    print(f"FAIL {where}: exit status {status}\n--- the block:\n{text}--- its output:\n{output}---")
        finally:
            for m in modules:
                m.stop()
            log.close()
    shutil.rmtree(scratch_root, ignore_errors=True)

    print(f"run_examples: {ran} blocks ran, {failed} failed, {skipped} skipped")
    if failed:
        return 1
    if ran == 0:
        print("run_examples: no runnable block found")
        return 1
    return SKIPPED if skipped else 0


if __name__ == "__main__":
    sys.exit(main())
