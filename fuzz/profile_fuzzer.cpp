// Any bytes as the settings file, any section, key and value: the reader and
// the writer never crash, an edit keeps every line it does not concern, the
// reader reads back what the writer wrote, and decoding a file is reversible.

#include "core/ini/profile_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Input layout: three short fields separated by '\x01', then the file.
std::string_view takeField(std::string_view &data)
{
    const std::size_t end = data.find('\x01');
    if (end == std::string_view::npos) {
        const std::string_view field = data.substr(0, 0);
        return field;
    }
    const std::string_view field = data.substr(0, end);
    data.remove_prefix(end + 1);
    return field;
}

std::size_t lineCount(std::string_view text)
{
    std::size_t lines = 0;
    for (const char c : text)
        lines += c == '\n';
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    std::string_view data(reinterpret_cast<const char *>(bytes), size);
    const std::string_view section = takeField(data);
    const std::string_view key = takeField(data);
    const std::string_view value = takeField(data);
    const std::string original(data);

    (void)profile::findValue(original, section, key);
    // Any bytes, Unicode or not, go back as they came.
    if (profile::encodeFile(profile::decodeFile(original)) != original)
        std::abort();

    std::string edited = original;
    if (profile::setValue(edited, section, key, value)) {
        const std::optional<std::string> readBack = profile::findValue(edited, section, key);
        // The value is trimmed and cut at a line break or NUL by the writer;
        // the reader must find exactly that.
        std::string_view expected = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
        while (!expected.empty() && std::string_view(" \t\v\f\x1a").find(expected.front()) != std::string_view::npos)
            expected.remove_prefix(1);
        while (!expected.empty() && std::string_view(" \t\v\f\x1a").find(expected.back()) != std::string_view::npos)
            expected.remove_suffix(1);
        if (!readBack)
            std::abort();
        // One pair of matching quotes is removed by the reader.
        std::string_view got = *readBack;
        if (got != expected
            && !(expected.size() >= 2 && (expected.front() == '"' || expected.front() == '\'')
                 && expected.back() == expected.front() && got == expected.substr(1, expected.size() - 2)))
            std::abort();
        // A second identical write changes nothing.
        std::string again = edited;
        profile::setValue(again, section, key, value);
        if (again != edited)
            std::abort();
        // An edit adds at most a header, a key line and a line break.
        if (lineCount(edited) > lineCount(original) + 3)
            std::abort();
    } else if (edited != original) {
        std::abort();
    }

    // A value without line breaks or NULs, quoted where needed, reads back exactly.
    if (value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos) {
        std::string quoted = original;
        if (profile::setValue(quoted, section, key, profile::quotedIfNeeded(value))
            && profile::findValue(quoted, section, key) != value)
            std::abort();
    }
    return 0;
}
