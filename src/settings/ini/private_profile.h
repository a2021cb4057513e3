#pragma once

// The private-profile (INI) calls, with the signatures and return values of
// their Windows namesakes. Every read and write of the settings file goes
// through these two functions.

#include <cstdint>
#include <utility>
#include <vector>

using DWORD = std::uint32_t;
using BOOL = int;

// Copies the value of [section] key into buffer (at most size - 1 bytes and a
// terminator) and returns the number of bytes copied, terminator excluded.
// A missing file, section or key yields def. The listings that Windows gives
// for a null section or key are not supported: those calls return 0.
DWORD GetPrivateProfileStringA(const char *section, const char *key, const char *def,
                               char *buffer, DWORD size, const char *path);

// Sets [section] key to value in the file at path, creating what is missing.
// Returns nonzero on success. The file is replaced whole or left as it was; a
// new file is readable by its owner only, an old one keeps its mode and owner,
// and a symbolic link stays a link to the file written. Deletions (a null key
// or value) are not supported and fail.
BOOL WritePrivateProfileStringA(const char *section, const char *key, const char *value,
                                const char *path);

// The steps of a write, for tests that make one fail as a full or failing disk would.
enum class ProfileWriteStep { CreateTemporary, Reserve, Write, Sync, Close, Rename };
// Each (step, errno value) fails once, the next time that step runs; {} clears them.
void FailProfileWriteSteps(std::vector<std::pair<ProfileWriteStep, int>> faults);
