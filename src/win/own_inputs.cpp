// Portable: splitting the launcher's own command line, reading its arguments and its executable path.
#include "win/own_inputs.hpp"

#include "report/fatal.hpp"
#include "win/buffer_rule.hpp"

namespace ostrand {
namespace {

constexpr char16_t space = u' ';
constexpr char16_t tab = u'\t';
constexpr char16_t quote = u'"';
constexpr char16_t backslash = u'\\';

bool is_blank(char16_t unit) {
    return unit == space || unit == tab;
}

}  // namespace

std::vector<NativeString> split_command_line(std::u16string_view line) {
    std::vector<NativeString> arguments;
    std::size_t i = 0;

    // The program name takes no escapes: a quote only groups, and a backslash is an ordinary unit.
    std::u16string current;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        const char16_t unit = line[i];
        if (unit == quote) {
            quoted = !quoted;
        } else if (is_blank(unit) && !quoted) {
            ++i;
            break;
        } else {
            current.push_back(unit);
        }
    }
    arguments.push_back(native_from_utf16(current));
    while (i < line.size() && is_blank(line[i])) {
        ++i;
    }

    current.clear();
    quoted = false;
    while (i < line.size()) {
        const char16_t unit = line[i];
        if (is_blank(unit) && !quoted) {
            arguments.push_back(native_from_utf16(current));
            current.clear();
            while (i < line.size() && is_blank(line[i])) {
                ++i;
            }
        } else if (unit == backslash) {
            std::size_t run = 0;
            while (i < line.size() && line[i] == backslash) {
                ++run;
                ++i;
            }
            if (i < line.size() && line[i] == quote) {
                current.append(run / 2, backslash);
                if (run % 2 == 1) {
                    current.push_back(quote);
                    ++i;
                }
            } else {
                current.append(run, backslash);
            }
        } else if (unit == quote && quoted) {
            ++i;
            if (i < line.size() && line[i] == quote) {
                current.push_back(quote);
                ++i;
            } else if (i == line.size()) {
                // A closing quote at the very end still delivers its argument, even an empty one.
                arguments.push_back(native_from_utf16(current));
                return arguments;
            } else {
                quoted = false;
            }
        } else if (unit == quote) {
            quoted = true;
            ++i;
        } else {
            current.push_back(unit);
            ++i;
        }
    }
    if (!current.empty() || quoted) {
        arguments.push_back(native_from_utf16(current));
    }
    return arguments;
}

SystemResult<NativeString> executable_path(SelfApi& self) {
    auto units = read_filled_buffer(self, [&](char16_t* buffer, std::uint32_t size) {
        return self.get_module_file_name_w(nullptr, buffer, size);
    });
    if (!units) {
        return Failure{units.error()};
    }
    return native_from_utf16(*units);
}

std::vector<std::string> own_arguments(SelfApi& self) {
    const char16_t* command_line = self.get_command_line_w();
    std::vector<NativeString> elements;
    if (command_line == nullptr || *command_line == u'\0') {
        auto path = executable_path(self);
        elements.push_back(path ? std::move(*path) : NativeString());
    } else {
        elements = split_command_line(command_line);
    }

    std::vector<std::string> arguments;
    arguments.reserve(elements.size());
    for (NativeString& element : elements) {
        auto text = native_to_text(std::move(element));
        if (!text) {
            fatal("a command-line argument is not valid Unicode: " + quoted_form(text.error()));
        }
        arguments.push_back(std::move(*text));
    }
    return arguments;
}

}  // namespace ostrand
