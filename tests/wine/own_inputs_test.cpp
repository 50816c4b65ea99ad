// The launcher's own inputs and fatal reports, seen from a parent process.
#include "harness.hpp"

using harness::check;

int wmain() {
    const std::wstring launcher = harness::build_dir() + L"\\ostrand.exe";

    {
        // An argument holding the unpaired surrogate D800: the report names it, and nothing else runs.
        std::wstring line = L"\"" + launcher + L"\" -novid a";
        line.push_back(static_cast<wchar_t>(0xD800));
        line += L"b";
        const auto run = harness::run(launcher, line);
        check(run.started, "launcher started", run);
        check(run.exit_code == 101, "non-Unicode argument: exit 101", run);
        check(harness::is_report(run.std_error,
                                 "a command-line argument is not valid Unicode: \"a\\u{d800}b\"\n"),
              "non-Unicode argument: report", run);
    }
    {
        // The program name is tested like every other element.
        std::wstring line = L"\"" + launcher;
        line.push_back(static_cast<wchar_t>(0xDC00));
        line += L"\"";
        const auto run = harness::run(launcher, line);
        check(run.exit_code == 101, "non-Unicode program name: exit 101", run);
        check(harness::is_report(run.std_error, "a command-line argument is not valid Unicode: \"" +
                                                    harness::escaped(launcher) + "\\u{dc00}\"\n"),
              "non-Unicode program name: report", run);
    }
    {
        // Without any standard handle the report has nowhere to go; the status stays.
        std::wstring line = L"x a";
        line.push_back(static_cast<wchar_t>(0xD800));
        harness::RunOptions options;
        options.std_handles = false;
        const auto run = harness::run(launcher, line, options);
        check(run.exit_code == 101, "no standard handles: exit 101", run);
        check(run.std_error.empty() && run.std_output.empty(), "no standard handles: nothing written", run);
    }
    {
        // A request that cannot be met ends through fail-fast, after the one line. (Wine spends minutes
        // on requests of some tens of TiB before it refuses them; this size is refused at once.)
        const auto run = harness::run(harness::build_dir() + L"\\allocation_failure.exe",
                                      L"allocation_failure 0x7FFFFFFFFFFFFFFF");
        check(run.exit_code == 0xC0000409, "failed allocation: fail-fast status", run);
        check(run.std_error == "memory allocation of 9223372036854775807 bytes failed\n",
              "failed allocation: report", run);
    }
    return harness::finish();
}
