// Makes one allocation of the size given as its argument, through the program's own operator new.
#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    const std::size_t size = argc > 1 ? std::wcstoull(argv[1], nullptr, 0) : 0;
    char* volatile p = new char[size];
    std::printf("allocation succeeded: %p\n", static_cast<void*>(p));
    return 0;
}
