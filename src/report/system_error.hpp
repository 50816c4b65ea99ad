// Portable: the error value of failing system operations and its two text forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/result.hpp"

namespace ostrand {

struct ReportApi;

// The kinds in their fixed order; each is printed exactly as it is spelled here.
// clang-format off
#define OSTRAND_SYSTEM_ERROR_KINDS(X) \
    X(NotFound) X(PermissionDenied) X(ConnectionRefused) X(ConnectionReset) X(HostUnreachable) \
    X(NetworkUnreachable) X(ConnectionAborted) X(NotConnected) X(AddrInUse) \
    X(AddrNotAvailable) X(NetworkDown) X(BrokenPipe) X(AlreadyExists) X(WouldBlock) \
    X(NotADirectory) X(IsADirectory) X(DirectoryNotEmpty) X(ReadOnlyFilesystem) \
    X(FilesystemLoop) X(StaleNetworkFileHandle) X(InvalidInput) X(InvalidData) X(TimedOut) \
    X(WriteZero) X(StorageFull) X(NotSeekable) X(QuotaExceeded) X(FileTooLarge) \
    X(ResourceBusy) X(ExecutableFileBusy) X(Deadlock) X(CrossesDevices) X(TooManyLinks) \
    X(InvalidFilename) X(ArgumentListTooLong) X(Interrupted) X(Unsupported) X(UnexpectedEof) \
    X(OutOfMemory) X(InProgress) X(Other) X(Uncategorized)
// clang-format on

#define OSTRAND_KIND_ENUMERATOR(kind) kind,
enum class SystemErrorKind : std::uint8_t { OSTRAND_SYSTEM_ERROR_KINDS(OSTRAND_KIND_ENUMERATOR) };
#undef OSTRAND_KIND_ENUMERATOR

#define OSTRAND_KIND_COUNT(kind) +1
inline constexpr int system_error_kind_count = 0 OSTRAND_SYSTEM_ERROR_KINDS(OSTRAND_KIND_COUNT);
#undef OSTRAND_KIND_COUNT

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
