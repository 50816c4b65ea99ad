// Built like the launcher, on its start routine and heap instead of mingw's, and with no standard
// container, so that nothing of the C++ runtime that a container would bring in hides what the runtime
// itself gives every program on it:
//   start_routine <hex status>             exits with that status if the static constructors had run
//                                          when main's body starts (heap included); 3 if they had not
//   start_routine throw-from-constructor   a static constructor throws an exception that nobody catches
//   start_routine throw-from-main          main throws one
#include <cstdint>

#include "win/kernel32/windows.hpp"

namespace {

// The last word of the command line.
const wchar_t* last_word() {
    const wchar_t* line = GetCommandLineW();
    const wchar_t* word = line;
    for (const wchar_t* p = line; *p != 0; ++p) {
        if (*p == L' ') {
            word = p + 1;
        }
    }
    return word;
}

bool last_word_is(const wchar_t* expected) {
    const wchar_t* word = last_word();
    for (; *word != 0 && *word == *expected; ++word, ++expected) {
    }
    return *word == 0 && *expected == 0;
}

struct Uncaught {
    int code;
};

// Dynamically initialised: the compiler cannot know the values, so only a run of the constructor
// before main sets them. The characters live on the heap.
struct Initialised {
    Initialised() : process_id(GetCurrentProcessId()), text(new char[40]) {
        if (last_word_is(L"throw-from-constructor")) {
            throw Uncaught{1};
        }
        for (int i = 0; i < 40; ++i) {
            text[i] = 'x';
        }
    }
    DWORD process_id;
    char* text;
};
const Initialised initialised;

bool initialised_before_main() {
    if (initialised.process_id != GetCurrentProcessId()) {
        return false;
    }
    for (int i = 0; i < 40; ++i) {
        if (initialised.text[i] != 'x') {
            return false;
        }
    }
    return true;
}

std::uint32_t requested_status() {
    std::uint32_t status = 0;
    for (const wchar_t* digits = last_word(); *digits != 0; ++digits) {
        const wchar_t c = *digits;
        const std::uint32_t digit = c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10;
        status = status * 16 + digit;
    }
    return status;
}

}  // namespace

int main() {
    if (!initialised_before_main()) {
        return 3;
    }
    if (last_word_is(L"throw-from-main")) {
        throw Uncaught{2};
    }
    return static_cast<int>(requested_status());
}
