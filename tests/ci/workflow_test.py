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

WINDOWS_RUNNERS = sorted({"windows-2022", "windows-2025", "windows-11-arm"})
TESTS_ZIP = "dist/ostrand-*-win64-tests.zip"
RELEASE_ZIP = "dist/ostrand-*-win64.zip"
results = []


def check(ok, what):
    results.append(bool(ok))
    if not ok:
        print("FAILED: " + what)


def main(workflow_path, runner):
    with open(workflow_path, encoding="utf-8") as source:
        workflow = yaml.safe_load(source)
    triggers = workflow.get("on", workflow.get(True)) or {}  # YAML 1.1 reads the key "on" as true
    check("push" in triggers and "pull_request" in triggers,
          "the workflow runs on every push and pull request, got %r" % (triggers,))
    jobs = workflow.get("jobs", {})
    steps = {name: job.get("steps", []) for name, job in jobs.items()}
    uses = lambda step, action: str(step.get("uses", "")).split("@")[0] == action  # noqa: E731
    given = lambda step, key: step.get("with", {}).get(key)  # noqa: E731

    debian = [name for name, job in jobs.items()
              if isinstance(job.get("container"), dict) and job["container"].get("image") == "debian:12"]
    check(len(debian) == 1, "one job in a debian:12 container, got %r" % debian)
    tests_artifact = None
    if debian:
        check("--privileged" in str(jobs[debian[0]]["container"].get("options", "")),
              "the debian:12 container is privileged, for the Debian 13 root")
        commands = [str(step.get("run", "")).strip() for step in steps[debian[0]]]
        check("scripts/test" in commands and "scripts/release" in commands,
              "the debian:12 job runs scripts/test and scripts/release, got %r" % commands)
        uploads = {given(step, "path"): given(step, "name") for step in steps[debian[0]]
                   if uses(step, "actions/upload-artifact")}
        check(RELEASE_ZIP in uploads and TESTS_ZIP in uploads,
              "the debian:12 job uploads %s and %s, got %r" % (RELEASE_ZIP, TESTS_ZIP, uploads))
        tests_artifact = uploads.get(TESTS_ZIP)

    seen = []
    for name, job in jobs.items():
        # The runner labels that the job runs on, its matrix expanded.
        labels = job.get("runs-on")
        labels = job.get("strategy", {}).get("matrix", {}).get("os", []) if labels == "${{ matrix.os }}" else [labels]
        if not any(str(label).startswith("windows") for label in labels):
            continue
        seen += labels
        needs = job.get("needs", [])
        needs = [needs] if isinstance(needs, str) else needs
        check(set(debian) <= set(needs), "%s waits for the debian:12 job, needs %r" % (name, needs))
        check(any(uses(step, "actions/download-artifact") and given(step, "name") == tests_artifact
                  for step in steps[name]),
              "%s downloads the test bundle that the debian:12 job uploads (%r)" % (name, tests_artifact))
        folder = job.get("env", {}).get("TESTS", "")
        check(" " in folder and not folder.isascii(),
              "%s unpacks into a folder whose path holds a space and a letter beyond ASCII, got %r" % (name, folder))
        unpack = [str(step.get("run")) for step in steps[name] if "Expand-Archive" in str(step.get("run", ""))]
        check(len(unpack) == 1 and "*-win64-tests.zip" in unpack[0] and "-DestinationPath $env:TESTS" in unpack[0],
              "%s unpacks the test bundle into $env:TESTS, got %r" % (name, unpack))
        runs = [step for step in steps[name] if runner in str(step.get("run", ""))]
        check(len(runs) == 1 and str(runs[0].get("run")).strip() == runner and runs[0].get("shell") == "cmd"
              and runs[0].get("working-directory") == "${{ env.TESTS }}",
              "%s runs exactly %s with cmd in the unpacked folder, got %r" % (name, runner, runs))
    check(sorted(seen) == WINDOWS_RUNNERS, "Windows jobs on %s, got %r" % (", ".join(WINDOWS_RUNNERS), seen))

    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
