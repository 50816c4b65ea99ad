// Portable: error kinds, system message texts and the two text forms of a SystemError.
#include "report/system_error.hpp"

#include "report/report_api.hpp"
#include "win/strings/native_string.hpp"

namespace ostrand {
namespace {

#define OSTRAND_KIND_NAME(kind) #kind,
constexpr std::string_view kind_names[] = {OSTRAND_SYSTEM_ERROR_KINDS(OSTRAND_KIND_NAME)};
#undef OSTRAND_KIND_NAME

struct CodeKind {
    std::int32_t code;
    SystemErrorKind kind;
};

using K = SystemErrorKind;
constexpr CodeKind code_kinds[] = {
    {2, K::NotFound},
    {3, K::NotFound},
    {15, K::NotFound},
    {53, K::NotFound},
    {67, K::NotFound},
    {5, K::PermissionDenied},
    {10013, K::PermissionDenied},
    {10061, K::ConnectionRefused},
    {10054, K::ConnectionReset},
    {1232, K::HostUnreachable},
    {10065, K::HostUnreachable},
    {1231, K::NetworkUnreachable},
    {10051, K::NetworkUnreachable},
    {10053, K::ConnectionAborted},
    {10057, K::NotConnected},
    {10048, K::AddrInUse},
    {10049, K::AddrNotAvailable},
    {10050, K::NetworkDown},
    {109, K::BrokenPipe},
    {232, K::BrokenPipe},
    {80, K::AlreadyExists},
    {183, K::AlreadyExists},
    {10035, K::WouldBlock},
    {267, K::NotADirectory},
    {336, K::IsADirectory},
    {145, K::DirectoryNotEmpty},
    {19, K::ReadOnlyFilesystem},
    {1921, K::FilesystemLoop},
    {87, K::InvalidInput},
    {10022, K::InvalidInput},
    {121, K::TimedOut},
    {258, K::TimedOut},
    {594, K::TimedOut},
    {995, K::TimedOut},
    {1053, K::TimedOut},
    {1121, K::TimedOut},
    {1460, K::TimedOut},
    {5910, K::TimedOut},
    {7012, K::TimedOut},
    {7040, K::TimedOut},
    {8014, K::TimedOut},
    {8226, K::TimedOut},
    {9705, K::TimedOut},
    {10060, K::TimedOut},
    {13805, K::TimedOut},
    {15402, K::TimedOut},
    {15403, K::TimedOut},
    {39, K::StorageFull},
    {112, K::StorageFull},
    {132, K::NotSeekable},
    {1295, K::QuotaExceeded},
    {10069, K::QuotaExceeded},
    {223, K::FileTooLarge},
    {170, K::ResourceBusy},
    {1131, K::Deadlock},
    {17, K::CrossesDevices},
    {1142, K::TooManyLinks},
    {123, K::InvalidFilename},
    {161, K::InvalidFilename},
    {206, K::InvalidFilename},
    {120, K::Unsupported},
    {8, K::OutOfMemory},
    {14, K::OutOfMemory},
};

constexpr std::uint32_t message_buffer_units = 2048;

}  // namespace

std::string_view kind_name(SystemErrorKind kind) {
    return kind_names[static_cast<std::size_t>(kind)];
}

SystemErrorKind kind_from_code(std::int32_t code) {
    for (const CodeKind& row : code_kinds) {
        if (row.code == code) {
            return row.kind;
        }
    }
    return SystemErrorKind::Uncategorized;
}

std::string system_message(ReportApi& api, std::int32_t code) {
    std::uint32_t flags = format_message_from_system | format_message_ignore_inserts;
    std::uint32_t id = static_cast<std::uint32_t>(code);
    Module source = nullptr;
    // The bit that marks an NTSTATUS value carried as an error code.
    if ((id & facility_nt_bit) != 0) {
        if (Module ntdll = api.get_module_handle_w(u"NTDLL.DLL")) {
            id &= ~facility_nt_bit;
            flags |= format_message_from_hmodule;
            source = ntdll;
        }
    }
    const std::string id_text = std::to_string(static_cast<std::int32_t>(id));

    char16_t buffer[message_buffer_units];
    const std::uint32_t n = api.format_message_w(flags, source, id, buffer, message_buffer_units);
    if (n == 0) {
        const auto lookup_error = static_cast<std::int32_t>(api.get_last_error());
        return "OS Error " + id_text + " (FormatMessageW() returned error " + std::to_string(lookup_error) +
               ")";
    }
    auto text = native_to_text(
        native_from_utf16(std::u16string_view(buffer, n < message_buffer_units ? n : message_buffer_units)));
    if (!text) {
        return "OS Error " + id_text + " (FormatMessageW() returned invalid UTF-16)";
    }
    std::string message = std::move(*text);
    while (!message.empty()) {
        const char last = message.back();
        if (last != ' ' && last != '\t' && last != '\n' && last != '\f' && last != '\r') {
            break;
        }
        message.pop_back();
    }
    return message;
}

std::string detailed_form(ReportApi& api, const SystemError& error) {
    if (error.is_os_code()) {
        return "Os { code: " + std::to_string(error.code()) +
               ", kind: " + std::string(kind_name(error.kind())) +
               ", message: " + quoted_text(system_message(api, error.code())) + " }";
    }
    return "Error { kind: " + std::string(kind_name(error.kind())) +
           ", message: " + quoted_text(error.message()) + " }";
}

std::string short_form(ReportApi& api, const SystemError& error) {
    if (error.is_os_code()) {
        return system_message(api, error.code()) + " (os error " + std::to_string(error.code()) + ")";
    }
    return std::string(error.message());
}

}  // namespace ostrand
