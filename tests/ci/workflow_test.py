#!/usr/bin/python3
"""Checks the CI workflow, which cannot run here, against what scripts/test does here: a job in a
privileged debian:12 container runs scripts/test and scripts/release and uploads both archives, and a
job on each hosted Windows runner (windows-2022, windows-2025, windows-11-arm) downloads the test
bundle that that job uploaded, unpacks the whole of it into one folder and runs in that folder, with
cmd, exactly the runner that scripts/test runs under Wine's cmd.

    /usr/bin/python3 tests/ci/workflow_test.py .github/workflows/ci.yml run-tests.cmd

Prints one line per failed check and a closing "N passed, N failed" line; exits non-zero on a failure.
"""

import sys

import yaml

WINDOWS_RUNNERS = {"windows-2022", "windows-2025", "windows-11-arm"}
TESTS_ZIP = "dist/ostrand-*-win64-tests.zip"
RELEASE_ZIP = "dist/ostrand-*-win64.zip"

passed = 0
failed = 0


def check(ok, what):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAILED: " + what)


def uses(step, action):
    return str(step.get("uses", "")).split("@")[0] == action


def runners(job):
    """The runner labels that a job runs on, its matrix expanded."""
    runs_on = job.get("runs-on")
    if runs_on == "${{ matrix.os }}":
        return list(job.get("strategy", {}).get("matrix", {}).get("os", []))
    return [runs_on]


def main(workflow_path, runner):
    with open(workflow_path, encoding="utf-8") as source:
        workflow = yaml.safe_load(source)
    # YAML 1.1 reads the key "on" as true.
    triggers = workflow.get("on", workflow.get(True)) or {}
    check("push" in triggers and "pull_request" in triggers,
          "the workflow runs on every push and pull request, got %r" % (triggers,))
    jobs = workflow.get("jobs", {})

    debian = [name for name, job in jobs.items()
              if isinstance(job.get("container"), dict) and job["container"].get("image") == "debian:12"]
    check(len(debian) == 1, "one job in a debian:12 container, got %r" % debian)
    tests_artifact = None
    if debian:
        job = jobs[debian[0]]
        check("--privileged" in str(job["container"].get("options", "")),
              "the debian:12 container is privileged, for the Debian 13 root")
        steps = job.get("steps", [])
        commands = [str(step.get("run", "")).strip() for step in steps]
        check("scripts/test" in commands and "scripts/release" in commands,
              "the debian:12 job runs scripts/test and scripts/release, got %r" % commands)
        uploads = {step.get("with", {}).get("path"): step.get("with", {}).get("name")
                   for step in steps if uses(step, "actions/upload-artifact")}
        check(RELEASE_ZIP in uploads and TESTS_ZIP in uploads,
              "the debian:12 job uploads %s and %s, got %r" % (RELEASE_ZIP, TESTS_ZIP, uploads))
        tests_artifact = uploads.get(TESTS_ZIP)

    seen = []
    for name, job in jobs.items():
        labels = runners(job)
        if not any(str(label).startswith("windows") for label in labels):
            continue
        seen += labels
        needs = job.get("needs", [])
        needs = [needs] if isinstance(needs, str) else needs
        check(set(debian) <= set(needs), "%s waits for the debian:12 job, needs %r" % (name, needs))
        steps = job.get("steps", [])
        check(any(uses(step, "actions/download-artifact") and step.get("with", {}).get("name") == tests_artifact
                  for step in steps),
              "%s downloads the test bundle that the debian:12 job uploads (%r)" % (name, tests_artifact))
        folder = job.get("env", {}).get("TESTS", "")
        check(" " in folder and not folder.isascii(),
              "%s unpacks into a folder whose path holds a space and a letter beyond ASCII, got %r"
              % (name, folder))
        unpack = [step for step in steps if "Expand-Archive" in str(step.get("run", ""))]
        check(len(unpack) == 1 and "*-win64-tests.zip" in unpack[0]["run"]
              and "-DestinationPath $env:TESTS" in unpack[0]["run"],
              "%s unpacks the test bundle into $env:TESTS, got %r" % (name, [step.get("run") for step in unpack]))
        runs = [step for step in steps if runner in str(step.get("run", ""))]
        check(len(runs) == 1 and str(runs[0].get("run")).strip() == runner and runs[0].get("shell") == "cmd"
              and runs[0].get("working-directory") == "${{ env.TESTS }}",
              "%s runs exactly %s with cmd in the unpacked folder, got %r" % (name, runner, runs))
    check(sorted(seen) == sorted(WINDOWS_RUNNERS),
          "Windows jobs on %s, got %r" % (", ".join(sorted(WINDOWS_RUNNERS)), seen))

    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
