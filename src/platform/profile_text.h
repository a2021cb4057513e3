#pragma once

// The private-profile format on an in-memory file: the reading and editing
// rules behind GetPrivateProfileStringA and WritePrivateProfileStringA,
// without any file I/O, so that they can be tested and fuzzed directly.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace profile {

// The value of [section] key, as the reader sees it (blanks around it dropped,
// one pair of matching quotes removed), or nothing when the section or the key
// is missing or the key's line has no '='.
std::optional<std::string> findValue(std::string_view file, std::string_view section,
                                     std::string_view key);

// Sets [section] key to value in the file text. Every line the edit does not
// concern keeps its bytes. Returns false when the edit is refused (a name that
// would break the file's structure); the text is then unchanged.
bool setValue(std::string &file, std::string_view section, std::string_view key,
              std::string_view value);

} // namespace profile
