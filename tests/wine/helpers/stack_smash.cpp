// Built with stack-buffer cookies and finished like the launcher (load configuration included).
//   stack_smash cookie       prints the cookie as main sees it, in hex
//   stack_smash overrun N    writes N bytes into a 16-byte stack buffer, then says "returned"
#include <cstdint>
#include <cstdio>
#include <cwchar>

extern "C" std::uintptr_t __stack_chk_guard;

namespace {

__attribute__((noinline)) void overrun(std::size_t count) {
    char buffer[16];
    volatile char* p = buffer;
    for (std::size_t i = 0; i < count; ++i) {
        p[i] = 'x';
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"cookie") == 0) {
        std::printf("%016llx\n", static_cast<unsigned long long>(__stack_chk_guard));
        return 0;
    }
    if (argc == 3 && std::wcscmp(argv[1], L"overrun") == 0) {
        overrun(std::wcstoull(argv[2], nullptr, 0));
        std::printf("returned\n");
        return 0;
    }
    return 2;
}
