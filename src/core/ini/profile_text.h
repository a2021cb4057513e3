#pragma once

// The private-profile format on an in-memory file: the reading and editing
// rules behind readProfileString and writeProfileString (private_profile.h),
// without any file I/O, so that they can be tested and fuzzed directly.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace profile {

// The value of [section] key, as the reader sees it (blanks around it dropped,
// one pair of matching quotes removed), or nothing when the section or the key
// is missing or the key's line has no '='.
std::optional<std::string> findValue(std::string_view file, std::string_view section, std::string_view key);

// The reader's view of a value: one pair of matching quotes (" or ') dropped.
std::string_view unquoted(std::string_view value);
// value in quotes where the reader would otherwise drop its blanks or quotes,
// so that it reads back as it is (a line break or NUL still ends it).
std::string quotedIfNeeded(std::string_view value);

// Sets [section] key to value in the file text. Every line the edit does not
// concern keeps its bytes, and so does the key's line when it already reads as
// the new value would. Returns false when the edit is refused (a name that
// would break the file's structure); the text is then unchanged.
bool setValue(std::string &file, std::string_view section, std::string_view key, std::string_view value);

// A file's bytes as the text the rules above work on. Windows reads a file that
// starts with a UTF-16 byte-order mark (Notepad's "Unicode") as UTF-16; its text
// here is UTF-8, an unpaired surrogate kept as its own three bytes so that lines
// nobody edits go back unchanged. Any other file is its bytes.
struct FileText
{
    enum class Encoding { Bytes, Utf16Le, Utf16Be };
    Encoding encoding = Encoding::Bytes;
    std::string text;
    std::string tail; // the odd last byte of a UTF-16 file
};
FileText decodeFile(std::string_view bytes);
// encodeFile(decodeFile(bytes)) == bytes for any bytes.
std::string encodeFile(const FileText &file);
// Whether bytes are such UTF-8 text (unpaired surrogates allowed).
bool isUnicodeText(std::string_view bytes);

} // namespace profile
