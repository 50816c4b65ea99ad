// Windows only: the image's start routine, and the little that the statically linked C++ runtime
// expects of a C runtime besides the heap (heap.cpp) and the memory and string functions (ntdll.def).
//
// No C runtime DLL is loaded: nothing reads the command line on the program's behalf (main takes no
// arguments and the launcher reads its own through GetCommandLineW), and there is no stdio.
#include "report/fatal.hpp"
#include "win/kernel32/windows.hpp"

// The program's main, under a name of our own: C++ does not let a program call main by its name.
extern "C" int program_main() __asm__("main");

extern "C" {

// libgcc: runs the static constructors from __CTOR_LIST__, last first, once per process, and
// registers the destructors with atexit. The compiler also calls it at the top of main; the second
// call does nothing.
void __main();

// Where the image starts (the GUI subsystem with mainCRTStartup as the entry, and no WinMain). The
// static constructors, of the program and of the C++ runtime (its emergency exception pool among
// them), have all run when main is entered; main's result is the process's exit status.
//
// noexcept, so that an exception escaping a static constructor or main ends the process through
// std::terminate, and so through fail-fast (terminate.cpp), like any exception that nobody catches.
// Without a frame that takes it, libgcc's unwinder raises the exception to the top, where only mingw's
// start-up code has a handler that lets std::terminate run; the system would end the process as
// crashed (an error report on Windows). The personality routine stops its search at this frame and
// calls std::terminate before any frame is unwound, so no destructor runs on the way.
[[noreturn]] void mainCRTStartup() noexcept {
    __main();
    ExitProcess(static_cast<UINT>(program_main()));
}

// The process ends through ExitProcess as soon as main returns, and what a static object holds is
// the system's to reclaim, so destructors registered for the end of the program are not kept.
int atexit(void (*)()) {
    return 0;
}

// libgcc's thread support reads this to learn whether threads may run the program's code: they may,
// so thread-local data and the runtime's once-only initialisation stay thread-safe.
extern const int _CRT_MT = 2;

// libgcc registers here the destructor of each thread key it creates (the thread-local data of the
// C++ runtime's exception handling), to be run when a thread ends. Only the main thread runs the
// program's code, and it ends with the process, so there is nothing to keep.
int __mingwthr_key_dtor(DWORD, void (*)(void*)) {
    return 0;
}

// Reached only from the C++ runtime and libgcc, on states they cannot go on from (an unwinder that
// finds no frame data, for instance).
[[noreturn]] void abort() {
    ostrand::abort_process(ostrand::process_report_api());
}
}
