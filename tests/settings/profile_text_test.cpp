#include "core/ini/profile_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace std::string_literals;
using std::nullopt;
using std::optional;
using std::string;

// Names match whatever their letter case and blanks around them; blanks
// around a value go, and one pair of quotes; a ';' inside a value is part of
// it; a NUL ends a name or a value; the first line of a name decides, even
// one without '='; comments are no keys, even asked for by name; a header's
// name ends at its last ']'; later duplicate sections are not searched; ""
// is "[]", not the lines before the first header.
TEST(ProfileText, ReadsValuesAsWindowsDoes)
{
    const string file = "top=leading\r\n[Main]\r\n  Plain = hello world  \r\nsemi=a ; b\r\n"
                        "blanks=\t\v\f\x1a value \x1a\r\n"
                        "dq=\"  padded  \"\r\nsq='x'\r\nmixed=\"x'\r\nlone=\"\r\n"
                        "empty=\r\nemptyquotes=\"\"\r\ndoubled=\"\"x\"\"\r\n"
                        "eq=a=b\r\nnokey\r\nnul=ab\0cd\r\nna\0me=named\r\n"
                        "dup=first\r\nDUP=second\r\nnoeq\r\nnoeq=later\r\n;key=1\r\n  ; spaced = 2\r\n"
                        "[abc=unclosed\r\n[ Spaced ] trailing text\r\nk=spaced\r\n[a]b]\r\nk=lastbracket\r\n"
                        "[Main]\r\nonlylater=1\r\n[]\r\ntop=empty name\r\n"s;
    const std::tuple<const char *, const char *, optional<string>> cases[] = {
        {"main", "PLAIN", "hello world"},
        {"Main", "semi", "a ; b"},
        {"Main", "blanks", "value"},
        {"Main", "dq", "  padded  "},
        {"Main", "sq", "x"},
        {"Main", "mixed", "\"x'"},
        {"Main", "lone", "\""},
        {"Main", "empty", ""},
        {"Main", "emptyquotes", ""},
        {"Main", "doubled", "\"x\""},
        {"Main", "eq", "a=b"},
        {"Main", "nokey", nullopt},
        {"Main", "nul", "ab"},
        {"Main", "na", "named"},
        {"Main", "dup", "first"},
        {"Main", "noeq", nullopt},
        {"Main", ";key", nullopt},
        {"Main", "; spaced", nullopt},
        {"Main", "[abc", "unclosed"},
        {"Spaced", "k", "spaced"},
        {"a]b", "k", "lastbracket"},
        {"Main", "onlylater", nullopt},
        {"", "top", "empty name"},
        {"Main", "missing", nullopt},
        {"Nope", "k", nullopt},
    };
    for (const auto &[section, key, expected] : cases)
        EXPECT_EQ(profile::findValue(file, section, key), expected) << section << "/" << key;
    EXPECT_EQ(profile::findValue(file, " \tMain\x1a", " plain \r\n"), "hello world");
}

TEST(ProfileText, ReadsEveryLineBreakStyle)
{
    const auto lines = [](const string &eol, const string &last) {
        return "[s]" + eol + "a = 1" + eol + eol + "b=\"2\"" + eol + "[t]" + eol + "c=3" + last;
    };
    const string files[] = {
        lines("\r\n", "\r\n"),
        lines("\n", "\n"),
        lines("\r", "\r"),
        lines("\r\n", ""),
        lines("\r", ""),
        "\xEF\xBB\xBF" + lines("\n", ""),
        "[s]\r\na=1\r\nb=2\r[t]\rc=3\r", // CR-only lines after the last '\n'
        "[s]\r\na=1\rb=2\r\n[t]\rc=3\r\n", // a lone CR inside a CRLF file
    };
    for (const string &file : files) {
        SCOPED_TRACE(testing::PrintToString(file));
        EXPECT_EQ(profile::findValue(file, "s", "a"), "1");
        EXPECT_EQ(profile::findValue(file, "s", "b"), "2");
        EXPECT_EQ(profile::findValue(file, "t", "c"), "3");
    }
    // The mark is only skipped at the very start.
    EXPECT_EQ(profile::findValue("\n\xEF\xBB\xBF[s]\nk=1\n", "s", "k"), nullopt);
}

TEST(ProfileText, EditsTouchOnlyTheirLines)
{
    const string bom = "\xEF\xBB\xBF";
    const std::tuple<string, const char *, const char *, const char *, string> cases[] = {
        {"; head\r\n[s]\r\n  K = old \r\nx = 1\r\n", "S", "k", "new", "; head\r\n[s]\r\nK=new\r\nx = 1\r\n"},
        {"[s]\nk=1", "s", "k", "2", "[s]\nk=2"},
        {"[s]\r\n k = v \r\n", "s", "K", " v ", "[s]\r\n k = v \r\n"},
        {"[s]\r\nk='v'\r\n", "s", "k", "v", "[s]\r\nk='v'\r\n"}, // reads the same: kept
        {"[s]\na=1", "s", "b", "2", "[s]\na=1\nb=2\n"},
        {"[s]\nk\n", "s", "k", "1", "[s]\nk=1\n"},
        {"[s]\nk=1", "t", "x", "y", "[s]\nk=1\n[t]\nx=y\n"},
        {"", " s ", " k ", "v", "[s]\r\nk=v\r\n"},
        {bom, "s", "k", "v", bom + "[s]\r\nk=v\r\n"},
        {"[s]\rk=1\r", "t", "x", "y", "[s]\rk=1\r[t]\rx=y\r"},
        {"[s]\nb=1\rc=2", "s", "d", "4", "[s]\nb=1\rc=2\nd=4\n"},
        {"[s]\r\nb=1\rc=2\r\n", "s", "d", "4", "[s]\r\nb=1\rc=2\r\nd=4\r\n"},
        {"[s]\r\nb=1\r\r\n[t]\r\n", "s", "d", "4", "[s]\r\nb=1\rd=4\r\r\n[t]\r\n"},
        {"[s]\nk=1\nk=2\n[s]\nk=3\n", "s", "k", "9", "[s]\nk=9\nk=2\n[s]\nk=3\n"},
        {"", "s", "k", "v\r\n[evil]\r\nx=1", "[s]\r\nk=v\r\n"},
        {"junk\0junk\r\n[s]\r\nk=1\r\n"s, "s", "k", "2", "junk\0junk\r\n[s]\r\nk=2\r\n"s},
        {"top=1\n", "", "top", "v", "top=1\n[]\ntop=v\n"},
    };
    for (const auto &[before, section, key, value, after] : cases) {
        SCOPED_TRACE(testing::PrintToString(before));
        string file = before;
        EXPECT_TRUE(profile::setValue(file, section, key, value));
        EXPECT_EQ(file, after);
    }
    // Names that would not read back are refused, the file left alone.
    for (const auto &[section, key] : {std::pair{"a]", "k"},
                                       {"a\nb", "k"},
                                       {"a\rb", "k"},
                                       {"s", "a=b"},
                                       {"s", "[k"},
                                       {"s", ";k"},
                                       {"s", "a\rb"},
                                       {"s", "a\nb"}}) {
        string file = "[s]\nk=1\n";
        EXPECT_FALSE(profile::setValue(file, section, key, "v")) << testing::PrintToString(key);
        EXPECT_EQ(file, "[s]\nk=1\n");
    }
}

TEST(ProfileText, AMillionCarriageReturnLinesAreReadOnce)
{
    // Scanned once per line, this file would take hours.
    string lines = "[s]\r";
    for (int i = 0; i < 1000000; ++i)
        lines += "a=1\r";
    ASSERT_TRUE(profile::setValue(lines, "s", "k", "v"));
    EXPECT_EQ(profile::findValue(lines, "s", "k"), "v");
}
