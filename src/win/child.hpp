// Portable: starting the game as a child process and waiting for it to end. Every system call goes
// through ProcessApi, EnvApi and SelfApi.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "report/system_error.hpp"
#include "win/env_api.hpp"
#include "win/environment.hpp"
#include "win/process_api.hpp"
#include "win/self_api.hpp"
#include "win/spawn_lock.hpp"
#include "win/strings/native_string.hpp"
#include "win/unique_handle.hpp"

namespace ostrand {

inline constexpr std::string_view batch_file_refused_message = "batch files are not supported";

// What a start is given: the program, its arguments and the environment overrides.
struct SpawnRequest {
    NativeString program_path;
    std::vector<NativeString> arguments;
    // Set on top of the launcher's own environment, in this order.
    std::vector<EnvOverride> environment_overrides;
};

// The interfaces a start reaches the system through; each must outlive the call.
struct SpawnSystem {
    ProcessApi& process;
    EnvApi& env;
    SelfApi& self;
};

// A started child. Closing releases the process handle, then the thread handle, then any pipe.
struct ChildProcess {
    ChildProcess() = default;
    ChildProcess(OwnedHandle process_handle, OwnedHandle thread_handle)
        : process(std::move(process_handle)), thread(std::move(thread_handle)) {}
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess() { close(); }

    void close() {
        process.reset();
        thread.reset();
        stdin_pipe.reset();
        stdout_pipe.reset();
        stderr_pipe.reset();
    }

    OwnedHandle process;
    OwnedHandle thread;
    // Our ends of pipes to the child's standard streams. The launcher never asks for pipes, so these
    // stay null; wait_child still closes an input pipe first, or a child that reads its input to the
    // end would never finish.
    OwnedHandle stdin_pipe;
    OwnedHandle stdout_pipe;
    OwnedHandle stderr_pipe;
};

// Held by every start while inheritable copies of the standard handles exist, so that a child started
// from another thread meanwhile cannot inherit them. The one piece of global mutable state.
SpawnLock& process_start_lock();

// Starts the request's program with its arguments and the launcher's environment plus the overrides.
// The child inherits inheritable copies of the launcher's standard handles and its current directory.
// On failure no process exists, no handle of the start is open and the lock is free. Reading the
// launcher's environment and comparing names fail fatally.
SystemResult<ChildProcess> spawn_child(const SpawnRequest& request, const SpawnSystem& system);

// Blocks until the child has ended and gives its exit code. The handles stay open.
SystemResult<std::uint32_t> wait_child(ChildProcess& child, ProcessApi& process);

}  // namespace ostrand
