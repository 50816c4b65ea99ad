// Times ostrand.exe against the two builds of the floor launcher, all starting a stand-in game that
// exits at once:
//   bench_launch <game folder> <runs>
// Prints the median wall time and the median peak working set of each, and the launcher's ratios to
// each floor. Times come from runs with a game that ends at once, peaks from runs with one that sleeps.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "win/kernel32/windows.hpp"
// After the Windows header, whose types it uses without including it.
#include <psapi.h>

namespace {

// The stand-in game sleeps this long in a memory run, and the launcher is asked for its peak working set
// this long after its start: by then it waits for the game, with all its work but the exit done. Asked
// after its end, Wine often answers zero, once the process's Unix side is gone.
constexpr DWORD game_sleep_ms = 1500;
constexpr DWORD query_after_ms = 1000;

PROCESS_INFORMATION start(const std::wstring& program) {
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start %ls: error %lu\n", program.c_str(), GetLastError());
        std::exit(1);
    }
    return process;
}

void finish(const PROCESS_INFORMATION& process) {
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// Wall time from the start until the launcher has ended, with a game that ends at once.
double milliseconds_once(const std::wstring& program) {
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    const PROCESS_INFORMATION process = start(program);
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    finish(process);
    return 1000.0 * static_cast<double>(end.QuadPart - begin.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Peak working set, asked while the launcher waits for a sleeping game.
double peak_kib_once(const std::wstring& program) {
    const PROCESS_INFORMATION process = start(program);
    double peak = 0;
    if (WaitForSingleObject(process.hProcess, query_after_ms) == WAIT_TIMEOUT) {
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (K32GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
            peak = static_cast<double>(memory.PeakWorkingSetSize) / 1024.0;
        }
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        std::fprintf(stderr, "%ls ended (status %#lx) before its memory was asked for\n", program.c_str(),
                     code);
    }
    finish(process);
    return peak;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_launch <game folder> <runs>\n");
        return 2;
    }
    const std::wstring folder = argv[1];
    const int runs = _wtoi(argv[2]);
    struct Program {
        const wchar_t* file;
        const char* label;
    };
    // The launcher first; then the floors: the same least launcher on kernel32 alone, and on mingw's
    // start-up code and C runtime.
    const Program programs[] = {
        {L"ostrand.exe", "ostrand.exe"},
        {L"bare_floor_launcher.exe", "bare floor"},
        {L"floor_launcher.exe", "mingw floor"},
    };
    constexpr int count = sizeof programs / sizeof programs[0];
    std::vector<double> time[count], peak[count];
    for (const Program& program : programs) {
        milliseconds_once(folder + L"\\" + program.file);  // warm the file cache and the wineserver
    }
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < count; ++k) {  // interleaved, so that drift hits all alike
            time[k].push_back(milliseconds_once(folder + L"\\" + programs[k].file));
        }
    }
    SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", std::to_wstring(game_sleep_ms).c_str());
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < count; ++k) {
            peak[k].push_back(peak_kib_once(folder + L"\\" + programs[k].file));
        }
    }
    SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", nullptr);
    double t[count], m[count];
    for (int k = 0; k < count; ++k) {
        t[k] = median(time[k]);
        m[k] = median(peak[k]);
        std::printf("  %-16s median %8.2f ms   peak working set %8.0f KiB\n", programs[k].label, t[k], m[k]);
    }
    for (int k = 1; k < count; ++k) {
        std::printf("  ratio to %-12s time %.3f   memory %.3f   (%d runs each)\n", programs[k].label,
                    t[0] / t[k], m[0] / m[k], runs);
    }
    return 0;
}
