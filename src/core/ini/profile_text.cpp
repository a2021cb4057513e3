#include "core/ini/profile_text.h"

#include <algorithm>
#include <utility>

namespace profile {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kNpos = std::string_view::npos;

bool isBlank(char c)
{
    // 0x1A (Ctrl-Z) ends old DOS files, so Windows counts it as a blank too.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Names and values are C strings to Windows: a NUL ends them.
std::string_view cutAtNul(std::string_view s)
{
    return s.substr(0, s.find('\0'));
}

std::string_view cleaned(std::string_view s)
{
    return trimmed(cutAtNul(s));
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

std::size_t textStart(std::string_view file)
{
    return file.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
}

enum class LineKind { Blank, Comment, Header, Entry };

struct Line
{
    std::size_t begin = 0;
    std::size_t end = 0; // end of the text, line break excluded
    std::size_t next = 0; // start of the following line; == end when there is no line break
    LineKind kind = LineKind::Blank;
    std::string_view name; // section or key name, as lookups compare it
    std::string_view rawName; // key as spelled in the file, kept when its value is replaced
    std::optional<std::string_view> value;
};

class LineReader
{
public:
    explicit LineReader(std::string_view file)
        : m_file(file)
        , m_pos(textStart(file))
    { }

    // Any CR or LF ends a line, as Windows reads it; CR LF is one break.
    bool next(Line &line)
    {
        if (m_pos >= m_file.size())
            return false;
        line = Line();
        line.begin = m_pos;
        line.end = std::min(m_file.find_first_of("\r\n", m_pos), m_file.size());
        line.next = line.end;
        if (line.next < m_file.size())
            line.next += m_file.compare(line.next, 2, "\r\n") == 0 ? 2 : 1;
        m_pos = line.next;
        classify(line, trimmed(m_file.substr(line.begin, line.end - line.begin)));
        return true;
    }

private:
    static void classify(Line &line, std::string_view text)
    {
        if (text.empty())
            return;
        if (text.front() == ';') {
            line.kind = LineKind::Comment;
            return;
        }
        if (text.front() == '[') {
            const std::size_t close = text.rfind(']');
            if (close != kNpos) {
                line.kind = LineKind::Header;
                line.name = cleaned(text.substr(1, close - 1));
                return;
            }
        }
        line.kind = LineKind::Entry;
        const std::size_t equals = text.find('=');
        line.rawName = trimmed(text.substr(0, equals));
        line.name = cleaned(line.rawName);
        if (equals != kNpos)
            line.value = cleaned(text.substr(equals + 1));
    }

    std::string_view m_file;
    std::size_t m_pos;
};

// Leaves the reader just past the first header of that name, returned in header.
bool seekSection(LineReader &reader, std::string_view section, Line &header)
{
    while (reader.next(header)) {
        if (header.kind == LineKind::Header && sameName(header.name, section))
            return true;
    }
    return false;
}

// The file's own line break: the first one in it, CR LF for a file without any.
std::string_view fileEol(std::string_view file)
{
    const std::size_t at = file.find_first_of("\r\n", textStart(file));
    if (at == kNpos)
        return "\r\n";
    return file.compare(at, 2, "\r\n") == 0 ? "\r\n" : file.substr(at, 1);
}

bool validSection(std::string_view name)
{
    return name.find_first_of("\r\n]") == kNpos;
}

bool validKey(std::string_view name)
{
    if (!name.empty() && (name.front() == '[' || name.front() == ';'))
        return false;
    return name.find_first_of("\r\n=") == kNpos;
}

constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool isContinuation(std::string_view s, std::size_t at)
{
    return at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80;
}

// The code point of the UTF-8 sequence at s[at] (surrogates allowed) and its
// length, or a length of 0 when the bytes there are no such sequence.
std::pair<char32_t, std::size_t> codePointAt(std::string_view s, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return char32_t(static_cast<unsigned char>(s[at + i])); };
    const char32_t b0 = byte(0);
    if (b0 < 0x80)
        return {b0, 1};
    if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2 && isContinuation(s, at + 1))
        return {(b0 & 0x1F) << 6 | (byte(1) & 0x3F), 2};
    if ((b0 & 0xF0) == 0xE0 && isContinuation(s, at + 1) && isContinuation(s, at + 2)) {
        const char32_t c = (b0 & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
        return {c, c >= 0x800 ? 3 : 0};
    }
    if ((b0 & 0xF8) == 0xF0 && isContinuation(s, at + 1) && isContinuation(s, at + 2) && isContinuation(s, at + 3)) {
        const char32_t c = (b0 & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
        return {c, c >= 0x10000 && c <= 0x10FFFF ? 4 : 0};
    }
    return {0, 0};
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string_view unquoted(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string quotedIfNeeded(std::string_view value)
{
    const bool needed = !value.empty() && (isBlank(value.front()) || isBlank(value.back()) || unquoted(value) != value);
    return needed ? std::string("\"").append(value).append("\"") : std::string(value);
}

FileText decodeFile(std::string_view bytes)
{
    FileText file;
    const bool little = bytes.substr(0, 2) == kUtf16LeBom;
    if (!little && bytes.substr(0, 2) != kUtf16BeBom) {
        file.text = bytes;
        return file;
    }
    file.encoding = little ? FileText::Encoding::Utf16Le : FileText::Encoding::Utf16Be;
    const std::size_t units = (bytes.size() - 2) / 2;
    file.tail = bytes.substr(2 + units * 2);
    const auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[2 + 2 * i]);
        const auto b = static_cast<unsigned char>(bytes[3 + 2 * i]);
        return char32_t(little ? b << 8 | a : a << 8 | b);
    };
    file.text.reserve(units * 3 / 2);
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000) {
            appendUtf8(file.text, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else {
            appendUtf8(file.text, u);
        }
    }
    return file;
}

std::string encodeFile(const FileText &file)
{
    if (file.encoding == FileText::Encoding::Bytes)
        return file.text;
    const bool little = file.encoding == FileText::Encoding::Utf16Le;
    std::string out(little ? kUtf16LeBom : kUtf16BeBom);
    out.reserve(2 + file.text.size() * 2 + file.tail.size());
    const auto put = [&](char32_t u) {
        out += char(little ? u & 0xFF : u >> 8);
        out += char(little ? u >> 8 : u & 0xFF);
    };
    for (std::size_t at = 0; at < file.text.size();) {
        auto [c, length] = codePointAt(file.text, at);
        if (length == 0) { // not UTF-8: the byte stands for itself
            c = static_cast<unsigned char>(file.text[at]);
            length = 1;
        }
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
        at += length;
    }
    return out + file.tail;
}

bool isUnicodeText(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = codePointAt(bytes, at).second;
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::optional<std::string> findValue(std::string_view file, std::string_view section, std::string_view key)
{
    const std::string_view wanted = cleaned(key);
    LineReader reader(file);
    Line line;
    if (!seekSection(reader, cleaned(section), line))
        return std::nullopt;
    while (reader.next(line) && line.kind != LineKind::Header) {
        if (line.kind == LineKind::Entry && sameName(line.name, wanted)) {
            if (!line.value)
                return std::nullopt;
            return std::string(unquoted(*line.value));
        }
    }
    return std::nullopt;
}

bool setValue(std::string &file, std::string_view section, std::string_view key, std::string_view value)
{
    const std::string_view sectionName = cleaned(section);
    const std::string_view keyName = cleaned(key);
    if (!validSection(sectionName) || !validKey(keyName))
        return false;
    // Cut at the first line break: the rest would otherwise be read as new lines.
    std::string_view newValue = cutAtNul(value);
    newValue = trimmed(newValue.substr(0, newValue.find_first_of("\r\n")));

    LineReader reader(file);
    Line line;
    if (!seekSection(reader, sectionName, line)) {
        const std::string_view eol = fileEol(file);
        std::string added;
        if (file.size() > textStart(file) && file.back() != '\n' && file.back() != '\r')
            added += eol;
        added.append("[").append(sectionName).append("]").append(eol);
        added.append(keyName).append("=").append(newValue).append(eol);
        file += added;
        return true;
    }

    Line lastFilled = line; // new keys go after the section's last non-blank line
    std::optional<Line> match;
    while (reader.next(line)) {
        if (line.kind == LineKind::Header)
            break;
        if (!match && line.kind == LineKind::Entry && sameName(line.name, keyName))
            match = line;
        if (line.kind != LineKind::Blank)
            lastFilled = line;
    }

    if (match) {
        if (!match->value || unquoted(*match->value) != unquoted(newValue))
            file.replace(match->begin, match->end - match->begin,
                         std::string(match->rawName).append("=").append(newValue));
        return true;
    }
    // The new line takes the break of the line before it: a lone CR there is
    // never followed by an LF, so no break can merge with the next line's.
    const std::size_t at = lastFilled.next;
    std::string_view eol = std::string_view(file).substr(lastFilled.end, at - lastFilled.end);
    std::string added;
    if (eol.empty()) { // that line ends the file without a line break
        eol = fileEol(file);
        added += eol;
    }
    added.append(keyName).append("=").append(newValue).append(eol);
    file.insert(at, added);
    return true;
}

} // namespace profile
