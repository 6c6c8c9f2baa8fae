#!/usr/bin/python3
"""Runs the examples of the README's command-line section as written, after starting the emulators as its
Emulators section does, and checks each one's exit status: 1 for a block the text before it says exits 1,
0 for the others. Run it inside a private network namespace (the addresses are the README's own).
usage: check_readme_examples.py README BIN_DIR"""
import os, re, subprocess, sys, tempfile


def blocks(text, heading):
    section = text.split(heading, 1)[1].split("\n## ", 1)[0]
    return [(m.group(1), section[max(0, m.start() - 300):m.start()]) for m in re.finditer(r"```\n(.*?)```", section, re.S)]


def main():
    text = open(sys.argv[1]).read()
    script = ["set -o pipefail", "ip link set lo up", "pids="]
    for line in blocks(text, "## Emulators")[0][0].splitlines():
        if line.startswith("trelvan "):
            continue
        script.append(line)
        if line.endswith("&"):
            script.append('pids="$pids $!"')
    script.append("sleep 1")
    expected = []
    for code, before in blocks(text, "## The `trelvan` command line"):
        for line in code.strip().splitlines():
            expected.append((line, 1 if "exits 1" in before else 0))
            script.append(f"{line}\necho \"@@ $?\"")
    script.append("kill $pids")
    env = dict(os.environ, PATH=os.path.abspath(sys.argv[2]) + os.pathsep + os.environ["PATH"], TRELVAN_SIMULATED_USB="0")
    with tempfile.TemporaryDirectory() as work:
        run = subprocess.run(["bash", "-c", "\n".join(script)], cwd=work, env=env, capture_output=True, text=True,
                             timeout=300)
    statuses = [int(l.split()[1]) for l in run.stdout.splitlines() if l.startswith("@@ ")]
    assert len(statuses) == len(expected), f"ran {len(statuses)} of {len(expected)} examples:\n{run.stderr}"
    wrong = [f"{line}: exit {got}, expected {want}" for (line, want), got in zip(expected, statuses) if got != want]
    assert not wrong, "\n".join(wrong) + "\n" + run.stderr
    print(f"{len(expected)} examples ran as the README says")


if __name__ == "__main__":
    main()
