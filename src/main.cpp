// Windows only: the process entry. The runtime's start routine calls main; a fatal failure that
// travels up ends here, once every owner on the way has released what it held, with its report.
#include "driver.hpp"
#include "report/fatal.hpp"

int main() {
    try {
        ostrand::launch(ostrand::system_platform(), "zorv");
    } catch (const ostrand::FatalFailure& failure) {
        ostrand::write_fatal_report(ostrand::process_report_api(), failure);
        return ostrand::fatal_exit_status;
    }
    return 0;
}
