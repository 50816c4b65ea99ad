#!/usr/bin/python3
# Self-test of scripts/mutate (the CTest test mutate.self_test of the native preset): runs the script on
# the tiny tree in fixture/ (one source, one check), in a git repository made for the run, and checks
# what it reports: known mutants killed, killed by timing out, surviving (an equivalent one) and not
# compiling; nothing mutated on the lines marked "untouched"; the closing tally; the checkout left as it
# was and no copy left behind. Then --since on an uncommitted change, a sample that its seed repeats, and
# a tree whose tests fail before any mutant.
import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path

here = Path(__file__).resolve().parent
mutate = here.parent.parent / "scripts" / "mutate"
build = "g++ -std=c++20 -Wall -Wextra -Wpedantic -Werror -o check check.cpp src/steps.cpp"
failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)


def run(tree, temp, *args, test="./check"):
    result = subprocess.run([mutate, "--tree", tree, "--build", build, "--test", test, *args], capture_output=True,
                            text=True, cwd=tree, env={**os.environ, "TMPDIR": temp})
    return result.returncode, result.stdout, result.stderr


def mutants(output):
    """{(line, change): result} of the mutant lines of scripts/mutate's output."""
    rows = (re.fullmatch(r"src/steps\.cpp:(\d+): (.*)  \((.*)\)", row) for row in output.splitlines())
    return {(int(m[1]), m[2]): m[3] for m in rows if m}


with tempfile.TemporaryDirectory() as work:
    tree, temp = Path(work) / "tree", Path(work) / "tmp"
    shutil.copytree(here / "fixture", tree)
    temp.mkdir()
    git = lambda *args: subprocess.run(["git", "-c", "user.name=self-test", "-c", "user.email=self-test@localhost",
                                        "-c", "commit.gpgsign=false", *args], cwd=tree, check=True, capture_output=True)
    git("init", "-q")
    git("add", "-A")
    git("commit", "-qm", "fixture")
    source = tree / "src" / "steps.cpp"
    original = source.read_text()
    lines = original.splitlines()
    line_of = lambda marker: next(n for n, text in enumerate(lines, 1) if marker in text)

    status, output, errors = run(tree, str(temp), "--count", "100")
    seen = mutants(output)
    expect(status == 0 and seen, f"scripts/mutate exited with {status}:\n{output}{errors}")
    for marker, change, result in [
        ("++steps;", "++steps; → --steps;", "killed"),
        ("from -= step;", "from -= step; → from += step;", "killed: its tests ran past"),  # never ends
        ("from -= step;", "from -= step; → (deleted)", "did not compile"),  # `step` is then unused
        ("return a > b", "return a > b ? → return a >= b ?", "survived"),  # equivalent: a == b gives a
    ]:
        got = seen.get((line_of(marker), change), "not made")
        expect(got.startswith(result), f"line {line_of(marker)}, {change}: {got}, expected {result}")
    untouched = [f"{line}: {change}" for line, change in seen if "untouched" in lines[line - 1]]
    expect(not untouched, f"mutants on untouched lines: {untouched}")
    tally = re.search(r"^score: (\d+) killed of (\d+) compiled .* (\d+) did not compile", output, re.M)
    killed = sum(r.startswith("killed") for r in seen.values())
    compiled = sum(r != "did not compile" for r in seen.values())
    expect(tally and tally.groups() == (str(killed), str(compiled), str(len(seen) - compiled)),
           f"closing line {tally and tally[0]!r} for {killed} killed of {compiled} compiled of {len(seen)}")
    expect(source.read_text() == original, "the checkout's source changed")
    expect(not os.listdir(temp), f"left behind: {os.listdir(temp)}")

    # An uncommitted change is what --since HEAD mutates, as the copy holds it.
    larger = line_of("return a > b")
    source.write_text(original.replace("return a > b ? a : b;", "return a < b ? b : a;"))
    status, output, errors = run(tree, str(temp), "--since", "HEAD")
    expect(mutants(output) == {(larger, "return a < b ? → return a <= b ?"): "survived"},
           f"--since HEAD after changing line {larger}:\n{output}{errors}")

    samples = [mutants(run(tree, str(temp), "--count", "2", "--seed", "5", "src/steps.cpp")[1]) for _ in range(2)]
    expect(len(samples[0]) == 2 and samples[0].keys() == samples[1].keys(), f"two samples of seed 5: {samples}")

    status, output, errors = run(tree, str(temp), test="false")
    expect(status == 2 and "fails its tests" in errors and not mutants(output),
           f"a tree whose tests fail: exit status {status}:\n{output}{errors}")

for failure in failures:
    print(f"FAILED: {failure}")
print(f"mutate self-test: {'passed' if not failures else f'{len(failures)} checks failed'}")
raise SystemExit(1 if failures else 0)
