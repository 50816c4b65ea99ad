// The players' README tells them how to see the launcher's report and exit status from a Command
// Prompt. This runs the lines it gives, exactly as written there (the first block of indented lines
// after it first names the Command Prompt), in the system's own cmd.exe, in a game folder that has no
// hl2.exe: the report file must hold the launch failure, and cmd must show 101. The README lies beside
// this program, as the build and the test bundle both place it.
#include "harness.hpp"

using harness::check;

namespace {

// The block, without its indentation, with the line ends that cmd reads from a keyboard.
std::string typed_block(const std::string& readme) {
    std::string typed;
    bool found = false;
    for (const std::string& line : harness::lines_of(readme)) {
        if (!found) {
            found = line.find("Command Prompt") != std::string::npos;
        } else if (line.starts_with("      ") && line.size() > 6 && line[6] != ' ') {
            typed += line.substr(6) + "\r\n";
        } else if (!typed.empty()) {
            break;
        }
    }
    return typed;
}

}  // namespace

int wmain() {
    const std::string typed = typed_block(harness::read_file(harness::build_dir() + L"\\README.txt"));
    const std::wstring game = harness::fresh_dir(L"command-prompt");
    harness::copy(harness::build_dir() + L"\\ostrand.exe", game + L"\\ostrand.exe");
    const std::wstring typed_path = game + L"\\typed.txt";
    harness::write_file(typed_path, typed);

    // cmd reading its commands from a file behaves as at a prompt: it does not wait for a program
    // without a console unless told to, and shows each prompt, "C:\...>", before what the command printed.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    harness::RunOptions options;
    options.input_file = typed_path.c_str();
    options.current_directory = game.c_str();
    const auto prompt = harness::run(std::wstring(system) + L"\\cmd.exe", L"cmd", options);
    std::vector<std::string> shown;
    for (std::string line : harness::lines_of(prompt.std_output + prompt.std_error)) {
        const std::size_t end = line.find('>');
        if (line.size() >= 3 && line[1] == ':' && line[2] == '\\' && end != std::string::npos) {
            line.erase(0, end + 1);
        }
        shown.push_back(line);
    }
    const std::string report = harness::read_file(game + L"\\ostrand-report.txt");

    const auto joined = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) {
            text += (text.empty() ? "" : "|") + line;
        }
        return text;
    };
    check(!typed.empty(), "an indented command block after \"Command Prompt\" in README.txt");
    check(report.find("\nFailed to launch Half-Life 2: ") != std::string::npos,
          "ostrand-report.txt holds the launch failure: \"" + harness::show(report) + "\"");
    check(std::find(shown.begin(), shown.end(), "101") != shown.end(),
          "cmd shows 101; it showed: " + harness::show(joined(shown)));
    std::printf("typed: %s\n", joined(harness::lines_of(typed)).c_str());
    return harness::finish();
}
