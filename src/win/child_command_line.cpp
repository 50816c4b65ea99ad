// Portable: child command-line encoding; no system calls.
#include "win/child_command_line.hpp"

#include <string_view>

namespace ostrand {
namespace {

// Only space and tab separate arguments when the child splits its command line; a line feed or a
// non-ASCII space is an ordinary character there and needs no quotes.
bool needs_quotes(std::u16string_view argument) {
    return argument.empty() || argument.find_first_of(u" \t") != std::u16string_view::npos;
}

// Appends the argument with every double quote escaped. A run of n backslashes is literal to the child
// unless a double quote follows it, where the child halves it: so such a run, and a run that ends a
// quoted argument (the closing quote follows it), is written 2n times.
void append_escaped(std::u16string& out, std::u16string_view argument, bool quoted) {
    std::size_t i = 0;
    const std::size_t size = argument.size();
    while (i < size) {
        std::size_t plain_end = i;
        while (plain_end < size && argument[plain_end] != u'\\' && argument[plain_end] != u'"') {
            ++plain_end;
        }
        out.append(argument.substr(i, plain_end - i));
        i = plain_end;
        if (i == size) {
            break;
        }
        std::size_t run_end = i;
        while (run_end < size && argument[run_end] == u'\\') {
            ++run_end;
        }
        const std::size_t run = run_end - i;
        if (run_end < size) {
            if (argument[run_end] == u'"') {
                out.append(2 * run + 1, u'\\');
                out.push_back(u'"');
                i = run_end + 1;
            } else {
                out.append(run, u'\\');
                i = run_end;
            }
        } else {
            out.append(quoted ? 2 * run : run, u'\\');
            i = run_end;
        }
    }
}

}  // namespace

SystemResult<std::u16string> encode_command_line(const NativeString& program_path,
                                                 const std::vector<NativeString>& arguments) {
    std::u16string line;
    // The program name is read by the child without escapes: quotes only group there, so it is quoted
    // whole and copied as it is.
    line.push_back(u'"');
    line.append(native_to_utf16(program_path));
    line.push_back(u'"');

    for (const NativeString& argument : arguments) {
        const std::u16string units = native_to_utf16(argument);
        if (holds_nul(units)) {
            return invalid_input(nul_in_data_message);
        }
        const bool quoted = needs_quotes(units);
        line.push_back(u' ');
        if (quoted) {
            line.push_back(u'"');
        }
        append_escaped(line, units, quoted);
        if (quoted) {
            line.push_back(u'"');
        }
    }
    return line;
}

}  // namespace ostrand
