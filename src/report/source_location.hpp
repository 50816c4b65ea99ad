// Portable: the source position of a check, for the header of a fatal report.
#pragma once

#include <version>
#if __has_include(<source_location>)
#include <source_location>
#endif

namespace ostrand {

#if defined(__cpp_lib_source_location)
using SourceLocation = std::source_location;
#else
// clang 14 with libstdc++ 12 (the fuzz build) has no std::source_location, but has the builtins.
class SourceLocation {
public:
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            unsigned line = __builtin_LINE(),
                                            unsigned column = __builtin_COLUMN()) {
        SourceLocation where;
        where.file_ = file;
        where.line_ = line;
        where.column_ = column;
        return where;
    }
    constexpr const char* file_name() const { return file_; }
    constexpr unsigned line() const { return line_; }
    constexpr unsigned column() const { return column_; }

private:
    const char* file_ = "";
    unsigned line_ = 0;
    unsigned column_ = 0;
};
#endif

}  // namespace ostrand
