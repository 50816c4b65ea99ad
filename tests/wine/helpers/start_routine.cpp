// Built like the launcher, on its start routine and heap instead of mingw's:
//   start_routine <hex status>   exits with that status if the static constructors had run when
//                                 main's body starts (heap included); 3 if they had not
#include <cstdint>
#include <string>

#include "win/kernel32/windows.hpp"

namespace {

// Dynamically initialised: the compiler cannot know the values, so only a run of the constructor
// before main sets them. The string's characters live on the heap.
struct Initialised {
    Initialised() : process_id(GetCurrentProcessId()), text(40, 'x') {}
    DWORD process_id;
    std::string text;
};
const Initialised initialised;

// The hex digits after the command line's last space.
std::uint32_t requested_status() {
    const wchar_t* line = GetCommandLineW();
    const wchar_t* digits = line;
    for (const wchar_t* p = line; *p != 0; ++p) {
        if (*p == L' ') {
            digits = p + 1;
        }
    }
    std::uint32_t status = 0;
    for (; *digits != 0; ++digits) {
        const wchar_t c = *digits;
        const std::uint32_t digit = c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10;
        status = status * 16 + digit;
    }
    return status;
}

}  // namespace

int main() {
    if (initialised.process_id != GetCurrentProcessId() || initialised.text != std::string(40, 'x')) {
        return 3;
    }
    return static_cast<int>(requested_status());
}
