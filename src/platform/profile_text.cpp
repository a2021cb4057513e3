#include "platform/profile_text.h"

namespace profile {

namespace {

constexpr std::string_view utf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t npos = std::string_view::npos;

bool isBlank(char c)
{
    // 0x1A (Ctrl-Z) ends old DOS files, so Windows counts it as a blank too.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'
        || c == '\x1a';
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
    return file.substr(0, utf8Bom.size()) == utf8Bom ? utf8Bom.size() : 0;
}

enum class LineKind { Blank, Comment, Header, Entry };

struct Line
{
    std::size_t begin = 0;
    std::size_t end = 0;  // end of the text, line break excluded
    std::size_t next = 0; // start of the following line; == end when there is no line break
    LineKind kind = LineKind::Blank;
    std::string_view name;    // section or key name, as lookups compare it
    std::string_view rawName; // key as spelled in the file, kept when its value is replaced
    std::optional<std::string_view> value;
};

class LineReader
{
public:
    explicit LineReader(std::string_view file)
        : m_file(file), m_pos(textStart(file)), m_lastLf(file.rfind('\n'))
    {
    }

    bool next(Line &line)
    {
        if (m_pos >= m_file.size())
            return false;
        line = Line();
        line.begin = m_pos;
        if (m_lastLf != npos && m_pos <= m_lastLf) {
            const std::size_t lf = m_file.find('\n', m_pos);
            line.next = lf + 1;
            line.end = lf > m_pos && m_file[lf - 1] == '\r' ? lf - 1 : lf;
        } else {
            // Past the last '\n' a lone '\r' breaks lines, so CR-only files read as Wine reads them.
            const std::size_t cr = m_file.find('\r', m_pos);
            line.end = cr == npos ? m_file.size() : cr;
            line.next = cr == npos ? m_file.size() : cr + 1;
        }
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
            if (close != npos) {
                line.kind = LineKind::Header;
                line.name = cleaned(text.substr(1, close - 1));
                return;
            }
        }
        line.kind = LineKind::Entry;
        const std::size_t equals = text.find('=');
        line.rawName = trimmed(text.substr(0, equals));
        line.name = cleaned(line.rawName);
        if (equals != npos)
            line.value = cleaned(text.substr(equals + 1));
    }

    std::string_view m_file;
    std::size_t m_pos;
    std::size_t m_lastLf;
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

std::string_view unquoted(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The file's own line break: the first one in it, CR LF for a file without any.
std::string_view fileEol(std::string_view file)
{
    const std::size_t start = textStart(file);
    const std::size_t lf = file.find('\n', start);
    if (lf != npos)
        return lf > start && file[lf - 1] == '\r' ? "\r\n" : "\n";
    return file.find('\r', start) != npos ? "\r" : "\r\n";
}

// A '\n' inserted after lines that end in a lone '\r' would merge them into one
// line, so text inserted there must break its lines with '\r' as well.
std::string_view eolAt(std::string_view file, std::size_t pos)
{
    const std::size_t start = textStart(file);
    const std::size_t lf = pos > start ? file.rfind('\n', pos - 1) : npos;
    const std::size_t from = lf == npos || lf < start ? start : lf + 1;
    if (file.substr(from, pos - from).find('\r') != npos)
        return "\r";
    return fileEol(file);
}

bool validSection(std::string_view name)
{
    return name.find_first_of("\r\n]") == npos;
}

bool validKey(std::string_view name)
{
    if (!name.empty() && (name.front() == '[' || name.front() == ';'))
        return false;
    return name.find_first_of("\r\n=") == npos;
}

} // namespace

std::optional<std::string> findValue(std::string_view file, std::string_view section,
                                     std::string_view key)
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

bool setValue(std::string &file, std::string_view section, std::string_view key,
              std::string_view value)
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
        const std::string_view eol = eolAt(file, file.size());
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
        if (match->value != newValue)
            file.replace(match->begin, match->end - match->begin,
                         std::string(match->rawName).append("=").append(newValue));
        return true;
    }
    const std::size_t at = lastFilled.next;
    const std::string_view eol = eolAt(file, at);
    std::string added;
    if (lastFilled.next == lastFilled.end)
        added += eol; // that line ends the file without a line break
    added.append(keyName).append("=").append(newValue).append(eol);
    file.insert(at, added);
    return true;
}

} // namespace profile
