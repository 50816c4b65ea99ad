// Portable: the error value of failing system operations and its two text forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/result.hpp"

namespace ostrand {

struct ReportApi;

// Printed exactly as the enumerators are spelled; keep the order, and Uncategorized last.
enum class SystemErrorKind : std::uint8_t {
    NotFound,
    PermissionDenied,
    ConnectionRefused,
    ConnectionReset,
    HostUnreachable,
    NetworkUnreachable,
    ConnectionAborted,
    NotConnected,
    AddrInUse,
    AddrNotAvailable,
    NetworkDown,
    BrokenPipe,
    AlreadyExists,
    WouldBlock,
    NotADirectory,
    IsADirectory,
    DirectoryNotEmpty,
    ReadOnlyFilesystem,
    FilesystemLoop,
    StaleNetworkFileHandle,
    InvalidInput,
    InvalidData,
    TimedOut,
    WriteZero,
    StorageFull,
    NotSeekable,
    QuotaExceeded,
    FileTooLarge,
    ResourceBusy,
    ExecutableFileBusy,
    Deadlock,
    CrossesDevices,
    TooManyLinks,
    InvalidFilename,
    ArgumentListTooLong,
    Interrupted,
    Unsupported,
    UnexpectedEof,
    OutOfMemory,
    InProgress,
    Other,
    Uncategorized,
};

inline constexpr int system_error_kind_count = static_cast<int>(SystemErrorKind::Uncategorized) + 1;

std::string_view kind_name(SystemErrorKind kind);
SystemErrorKind kind_from_code(std::int32_t code);

// Either a Windows error code, or a kind with a fixed message for failures found before any system
// call. The message of the second form always points at a string literal.
class SystemError {
public:
    SystemError() = default;
    static SystemError os_code(std::int32_t code) { return SystemError(code); }
    static SystemError kind_and_message(SystemErrorKind kind, std::string_view message) {
        return SystemError(kind, message);
    }

    bool is_os_code() const { return is_os_code_; }
    std::int32_t code() const { return code_; }
    SystemErrorKind kind() const { return is_os_code_ ? kind_from_code(code_) : kind_; }
    std::string_view message() const { return message_; }

    friend bool operator==(const SystemError&, const SystemError&) = default;

private:
    explicit SystemError(std::int32_t code) : is_os_code_(true), code_(code) {}
    SystemError(SystemErrorKind kind, std::string_view message) : kind_(kind), message_(message) {}

    bool is_os_code_ = false;
    std::int32_t code_ = 0;
    SystemErrorKind kind_ = SystemErrorKind::Other;
    std::string_view message_;
};

template <typename T>
using SystemResult = Result<T, SystemError>;

inline Failure<SystemError> os_failure(std::uint32_t code) {
    return Failure{SystemError::os_code(static_cast<std::int32_t>(code))};
}
inline Failure<SystemError> invalid_input(std::string_view message) {
    return Failure{SystemError::kind_and_message(SystemErrorKind::InvalidInput, message)};
}

inline constexpr std::string_view nul_in_data_message = "nul byte found in provided data";

// The system's message text for a code (FormatMessageW), never failing.
std::string system_message(ReportApi& api, std::int32_t code);

// "Os { code: .., kind: .., message: \"..\" }" or "Error { kind: .., message: \"..\" }".
std::string detailed_form(ReportApi& api, const SystemError& error);
// The message text and " (os error N)", or the message text alone.
std::string short_form(ReportApi& api, const SystemError& error);

}  // namespace ostrand
