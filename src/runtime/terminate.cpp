// Windows only: how the C++ runtime's own failures end the launcher.
//
// The launcher throws one exception type, caught at the process entry. The runtime's other ways out
// (std::terminate and the std::__throw_* helpers behind the containers' length and range checks) can
// only be reached through a request that the launcher never makes. Defining them here ends the process
// through fail-fast like every other abnormal end, and keeps the runtime's versions out of the image:
// the default terminate handler demangles and prints the exception's type through stdio, and the throw
// helpers bring in every standard exception class with two string implementations: together some
// 130 KiB, more than the launcher's own code.
#include <bits/functexcept.h>

#include <exception>
#include <system_error>

#include "report/fatal.hpp"
#include "report/report_api.hpp"
#include "win/kernel32/windows.hpp"

namespace {

[[noreturn]] void abort_process() {
    ostrand::abort_process(ostrand::process_report_api());
}

}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    ::abort_process();
}
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_exception() {
    ::abort_process();
}
void __throw_bad_alloc() {
    ::abort_process();
}
void __throw_bad_array_new_length() {
    ::abort_process();
}
void __throw_bad_cast() {
    ::abort_process();
}
void __throw_bad_typeid() {
    ::abort_process();
}
void __throw_logic_error(const char*) {
    ::abort_process();
}
void __throw_domain_error(const char*) {
    ::abort_process();
}
void __throw_invalid_argument(const char*) {
    ::abort_process();
}
void __throw_length_error(const char*) {
    ::abort_process();
}
void __throw_out_of_range(const char*) {
    ::abort_process();
}
void __throw_out_of_range_fmt(const char*, ...) {
    ::abort_process();
}
void __throw_runtime_error(const char*) {
    ::abort_process();
}
void __throw_range_error(const char*) {
    ::abort_process();
}
void __throw_overflow_error(const char*) {
    ::abort_process();
}
void __throw_underflow_error(const char*) {
    ::abort_process();
}
// Raised by the standard library's threads and mutexes, which the launcher does not use.
void __throw_system_error(int) {
    ::abort_process();
}
}  // namespace std
