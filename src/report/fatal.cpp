// Portable: the fatal report, the orderly end through FatalFailure and the immediate end through
// the fail-fast service.
#include "report/fatal.hpp"

#include <charconv>
#include <cstring>
#include <string>
#include <utility>

#include "report/stderr_writer.hpp"

namespace ostrand {
namespace {

constexpr std::size_t report_buffer_bytes = 512;

// Collects a report's pieces in a fixed buffer, so that a report that fits goes out in one write and is
// not interleaved with other output. When a piece does not fit, the buffer is marked overflowed and the
// caller writes the pieces again one by one.
class ReportBuffer {
public:
    void operator()(std::string_view piece) {
        if (overflowed_ || piece.size() > sizeof(bytes_) - size_) {
            overflowed_ = true;
            return;
        }
        std::memcpy(bytes_ + size_, piece.data(), piece.size());
        size_ += piece.size();
    }
    bool overflowed() const { return overflowed_; }
    std::string_view text() const { return {bytes_, size_}; }

private:
    char bytes_[report_buffer_bytes];
    std::size_t size_ = 0;
    bool overflowed_ = false;
};

struct DirectWriter {
    ReportApi& api;
    void operator()(std::string_view piece) {
        // A failed write loses the rest of the report; the run ends the same way.
        (void)write_stderr_all(api, piece);
    }
};

template <typename Sink>
void put_number(Sink& sink, std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
    sink(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// A line feed, then "thread 'main' (<id>) failed at <file>:<line>:<column>:" and a line feed.
template <typename Sink>
void put_header(Sink& sink, std::uint32_t thread_id, const SourceLocation& where) {
    sink("\nthread 'main' (");
    put_number(sink, thread_id);
    sink(") failed at ");
    sink(where.file_name());
    sink(":");
    put_number(sink, where.line());
    sink(":");
    put_number(sink, where.column());
    sink(":\n");
}

template <typename Compose>
void write_report(ReportApi& api, Compose compose) {
    ReportBuffer buffer;
    compose(buffer);
    if (!buffer.overflowed()) {
        (void)write_stderr_all(api, buffer.text());
        return;
    }
    DirectWriter direct{api};
    compose(direct);
}

void report(ReportApi& api, std::string_view message, const std::string* detail,
            const SourceLocation& where) {
    const std::uint32_t thread_id = api.get_current_thread_id();
    write_report(api, [&](auto& sink) {
        put_header(sink, thread_id, where);
        sink(message);
        if (detail != nullptr) {
            sink(": ");
            sink(*detail);
        }
        sink("\n");
    });
}

}  // namespace

void fatal(std::string message, std::optional<SystemError> error, ErrorForm form, SourceLocation where) {
    throw FatalFailure{std::move(message), error, form, where};
}

void write_fatal_report(ReportApi& api, const FatalFailure& failure) {
    if (!failure.error) {
        report(api, failure.message, nullptr, failure.where);
        return;
    }
    const std::string detail = failure.form == ErrorForm::Detailed ? detailed_form(api, *failure.error)
                                                                   : short_form(api, *failure.error);
    report(api, failure.message, &detail, failure.where);
}

void fatal_unrecoverable(ReportApi& api, std::string_view message, std::string_view why,
                         SourceLocation where) {
    report(api, message, nullptr, where);
    report(api, why, nullptr, where);
    (void)write_stderr_all(api, "aborting the process\n");
    abort_process(api);
}

void abort_process(ReportApi& api) {
    api.fastfail(fast_fail_fatal_app_exit);
    // The attribute of a virtual function does not carry over to the call; the interface requires
    // that fastfail never returns.
    __builtin_unreachable();
}

void out_of_memory(ReportApi& api, std::size_t size) {
    // No heap on this path, down to the console conversion: the request that failed may have been the
    // last one that could be met.
    write_report(api, [&](auto& sink) {
        sink("memory allocation of ");
        put_number(sink, size);
        sink(" bytes failed\n");
    });
    abort_process(api);
}

}  // namespace ostrand
