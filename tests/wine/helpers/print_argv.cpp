// Prints the arguments that the C runtime split from its command line: one line per argument, each
// unit as four hex digits, so that any unit survives the trip.
#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    for (int i = 0; i < argc; ++i) {
        for (const wchar_t* p = argv[i]; *p != 0; ++p) {
            std::printf("%04x", static_cast<unsigned>(static_cast<unsigned short>(*p)));
        }
        std::printf("\n");
    }
    return 0;
}
