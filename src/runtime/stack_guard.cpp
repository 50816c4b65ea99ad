// Windows only: the stack-protector cookie, the routine that a failed cookie check calls, and the load
// configuration through which the system loader seeds the cookie.
//
// The compiler's -fstack-protector code reads the cookie from `__stack_chk_guard` and calls
// `__stack_chk_fail` on a mismatch. Defining both here keeps the compiler's own support library (which
// seeds the cookie itself through ADVAPI32 and reports through the C runtime) out of the image. This
// file must not be built with the protector itself.
#include <cstddef>
#include <cstdint>

#include "base/system_types.hpp"
#include "win/kernel32/windows.hpp"

extern "C" {

// The loader replaces this exact value with a random one whose top 16 bits are zero before any code of
// the image runs; any other value it leaves alone.
std::uintptr_t __stack_chk_guard = 0x00002B992DDFA232;

// The stack frame that failed its check is corrupt: no unwinding, no handler and no report may run on
// it. Fail-fast ends the process at once with 0xC0000409.
[[noreturn]] void __stack_chk_fail() {
    ostrand::fastfail(ostrand::fast_fail_fatal_app_exit);
}

// IMAGE_LOAD_CONFIG_DIRECTORY64 as far as the SEH fields, with the cookie as a pointer so that the
// linker writes its address (and a base relocation for it) instead of the compiler running code at
// start-up. No control-flow-guard fields: the image does not use it.
struct LoadConfig {
    DWORD size;
    DWORD fields_before_cookie[21];
    std::uintptr_t* security_cookie;
    ULONGLONG se_handler_table;
    ULONGLONG se_handler_count;
};
static_assert(sizeof(LoadConfig) == sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64));
static_assert(offsetof(LoadConfig, security_cookie) ==
              offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, SecurityCookie));

// The linker keeps this only when asked to (-u _load_config_used) and does not point the load
// configuration directory at it; the build's finishing step does.
extern const LoadConfig _load_config_used;
const LoadConfig _load_config_used = {sizeof(LoadConfig), {}, &__stack_chk_guard, 0, 0};
}
