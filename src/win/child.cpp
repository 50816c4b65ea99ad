// Portable: child start and wait. The order of the steps in spawn_child is fixed; it also decides
// which failure is reported when several apply.
#include "win/child.hpp"

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "win/child_command_line.hpp"
#include "win/environment.hpp"
#include "win/path.hpp"
#include "win/program_path.hpp"
#include "win/strings/ascii.hpp"

namespace ostrand {
namespace {

// The longest command line CreateProcessW takes, without its terminator: the system hands it to the
// child as a counted string whose length in bytes, terminator included, must fit in 16 bits.
constexpr std::size_t max_command_line_units = 32766;

// A batch file is run by cmd.exe, which reads its command line by rules of its own. Rather than build
// that second command-line form for a case the launcher never meets (its program is always an .exe),
// batch files are refused.
SystemResult<bool> is_batch_file(const std::u16string& application_name, ProcessApi& process) {
    const std::u16string_view name = application_name;
    const auto batch_extension = [](std::u16string_view text) {
        return ends_with_ascii_ignoring_case(text, u".bat") || ends_with_ascii_ignoring_case(text, u".cmd");
    };
    // A \\?\ or \??\ name reaches the system unchanged; any other is read the way CreateProcessW will
    // read it, after trailing dots and spaces are dropped ("x.bat." is a batch file).
    if (begins_with_literal_or_object(name)) {
        return batch_extension(name);
    }
    SystemResult<std::u16string> full = full_path_name(application_name, process);
    if (!full) {
        return Failure{full.error()};
    }
    return batch_extension(*full);
}

// Inheritable copies of the launcher's standard handles, for the child's STARTUPINFOW. Absent
// streams stay null.
class StandardHandleCopies {
public:
    explicit StandardHandleCopies(ProcessApi& process) : process_(process) {}

    // Input, output, error, in that order, but for the slots that `launcher_flags` (how the launcher
    // was started) says hold no stream. A failed copy is that call's error; the copies already made are
    // closed by the destructor.
    SystemResult<void> make(std::uint32_t launcher_flags) {
        constexpr std::array<std::uint32_t, 3> streams = {std_input_handle, std_output_handle,
                                                          std_error_handle};
        // Windows puts the shell's start-up values into the slots that GetStdHandle reads.
        const std::array<bool, 3> shell_value = {(launcher_flags & startf_usehotkey) != 0,
                                                 (launcher_flags & startf_shell_monitor) != 0, false};
        for (std::size_t i = 0; i < streams.size(); ++i) {
            if (shell_value[i]) {
                continue;
            }
            const Handle own = process_.get_std_handle(streams[i]);
            // A GUI program started from the desktop has no standard handles; the child then gets
            // the system's default for that stream.
            if (own == nullptr || own == invalid_handle_value()) {
                continue;
            }
            Handle copy = nullptr;
            if (!process_.duplicate_handle(process_.get_current_process(), own,
                                           process_.get_current_process(), &copy, 0, true,
                                           duplicate_same_access)) {
                // A value that is no handle of this process, whoever put it there, is no stream.
                const std::uint32_t error = process_.get_last_error();
                if (error == error_invalid_handle) {
                    continue;
                }
                return os_failure(error);
            }
            copies_[i].reset(process_, copy);
        }
        return {};
    }

    StartupInfo startup_info() const {
        StartupInfo startup;
        if (copies_[0].valid() || copies_[1].valid() || copies_[2].valid()) {
            startup.flags = startf_usestdhandles;
            startup.std_input = copies_[0].get();
            startup.std_output = copies_[1].get();
            startup.std_error = copies_[2].get();
        }
        return startup;
    }

private:
    ProcessApi& process_;
    std::array<OwnedHandle, 3> copies_;
};

// The handle copies and CreateProcessW. `environment_block` is null when the child inherits the
// launcher's environment; CreateProcessW may write into `command_line`.
SystemResult<ChildProcess> spawn_process(const std::u16string& application_name, std::u16string& command_line,
                                         char16_t* environment_block, ProcessApi& process) {
    const std::uint32_t launcher_flags = process.get_startup_info_w().flags;
    // The lock is taken before the first standard handle is looked at, and the copies are declared
    // after it: they are closed before the lock is released, on every way out.
    const std::lock_guard<SpawnLock> lock(process_start_lock());
    StandardHandleCopies copies(process);
    if (SystemResult<void> made = copies.make(launcher_flags); !made) {
        return Failure{made.error()};
    }
    // Windows refuses a longer command line with this error; Wine instead cuts it to the limit and
    // starts the program with arguments nobody gave it. The check stands where CreateProcessW itself
    // would refuse, so every earlier step's failure still wins, as it does on Windows.
    if (command_line.size() - 1 > max_command_line_units) {
        return os_failure(error_filename_exced_range);
    }
    ProcessInformation information;
    if (!process.create_process_w(application_name.c_str(), command_line.data(), true,
                                  create_unicode_environment, environment_block, nullptr,
                                  copies.startup_info(), information)) {
        return os_failure(process.get_last_error());
    }
    return ChildProcess(OwnedHandle(process, information.process), OwnedHandle(process, information.thread));
}

}  // namespace

SpawnLock& process_start_lock() {
    static SpawnLock lock;
    return lock;
}

SystemResult<ChildProcess> spawn_child(const SpawnRequest& request, const SpawnSystem& system) {
    // CompareStringOrdinal is the rule for variable names on Windows.
    const SystemEnvNameComparer comparer(system.env);
    OverrideSet overrides(comparer);
    for (const EnvOverride& variable : request.environment_overrides) {
        set_env_override(overrides, variable.name, variable.value);
    }
    const std::optional<EnvironmentMap> environment = merge_environment(system.env, overrides);

    // A child given its own PATH is searched for along that PATH, as the child itself would search.
    std::optional<NativeString> search_path;
    if (overrides.path_overridden && environment) {
        search_path = lookup_env(*environment, NativeString::from_text("PATH"));
    }

    SystemResult<std::u16string> application_name =
        resolve_program(request.program_path, search_path, system.process, system.self);
    if (!application_name) {
        return Failure{application_name.error()};
    }
    SystemResult<bool> batch = is_batch_file(*application_name, system.process);
    if (!batch) {
        return Failure{batch.error()};
    }
    if (*batch) {
        return invalid_input(batch_file_refused_message);
    }

    // The child sees the program path as the plan holds it, even when the application name carries a
    // \\?\ prefix. CreateProcessW may write into the command line, so it gets a buffer of our own.
    SystemResult<std::u16string> command_line = encode_command_line(request.program_path, request.arguments);
    if (!command_line) {
        return Failure{command_line.error()};
    }
    command_line->push_back(u'\0');

    std::u16string environment_block;
    if (environment) {
        SystemResult<std::u16string> block = write_environment_block(*environment);
        if (!block) {
            return Failure{block.error()};
        }
        environment_block = std::move(*block);
    }

    return spawn_process(*application_name, *command_line, environment ? environment_block.data() : nullptr,
                         system.process);
}

SystemResult<std::uint32_t> wait_child(ChildProcess& child, ProcessApi& process) {
    // A child reading its input to the end waits for our end of the pipe to close.
    child.stdin_pipe.reset();
    if (process.wait_for_single_object(child.process.get(), infinite_timeout) != wait_object_0) {
        return os_failure(process.get_last_error());
    }
    std::uint32_t exit_code = 0;
    if (!process.get_exit_code_process(child.process.get(), exit_code)) {
        return os_failure(process.get_last_error());
    }
    return exit_code;
}

}  // namespace ostrand
