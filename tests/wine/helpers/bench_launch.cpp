// Times ostrand.exe against the floor launcher, both starting a stand-in game that exits at once:
//   bench_launch <game folder> <runs>
// Prints the median wall time and the median peak working set of each, and their ratios.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "win/kernel32/windows.hpp"
#include <psapi.h>

namespace {

struct Sample {
    double milliseconds;
    double peak_kib;
};

Sample run_once(const std::wstring& program) {
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start %ls\n", program.c_str());
        std::exit(1);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    K32GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return Sample{1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                  static_cast<double>(memory.PeakWorkingSetSize) / 1024.0};
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
    const std::wstring programs[] = {folder + L"\\ostrand.exe", folder + L"\\floor_launcher.exe"};
    std::vector<double> time[2], peak[2];
    run_once(programs[0]);  // warm the file cache and the wineserver
    run_once(programs[1]);
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < 2; ++k) {  // interleaved, so that drift hits both alike
            const Sample s = run_once(programs[k]);
            time[k].push_back(s.milliseconds);
            peak[k].push_back(s.peak_kib);
        }
    }
    const double t0 = median(time[0]), t1 = median(time[1]), m0 = median(peak[0]), m1 = median(peak[1]);
    std::printf("  ostrand.exe      median %8.2f ms   peak working set %8.0f KiB\n", t0, m0);
    std::printf("  floor launcher   median %8.2f ms   peak working set %8.0f KiB\n", t1, m1);
    std::printf("  ratio            time %.3f   memory %.3f   (%d runs each)\n", t0 / t1, m0 / m1, runs);
    return 0;
}
