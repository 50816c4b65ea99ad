// Windows only: the process entry. The runtime's start routine calls main; a fatal failure that
// travels up ends here with status 101 after every owner on the way has released what it held.
#include "driver.hpp"
#include "report/fatal.hpp"

int main() {
    try {
        ostrand::launch(ostrand::system_platform(), "zorv");
    } catch (const ostrand::FatalFailure&) {
        return ostrand::fatal_exit_status;
    }
    return 0;
}
