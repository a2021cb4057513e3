#pragma once

// The private-profile (INI) calls, with the signatures and return values of
// their Windows namesakes. Every read and write of the settings file goes
// through these two functions.

#include <cstdint>

using DWORD = std::uint32_t;
using BOOL = int;

// Copies the value of [section] key into buffer (at most size - 1 bytes and a
// terminator) and returns the number of bytes copied, terminator excluded.
// A missing file, section or key yields def. A null key lists the section's
// key names, a null section lists the section names (each terminated, the
// list ended by a second terminator; an empty list when there are none).
DWORD GetPrivateProfileStringA(const char *section, const char *key, const char *def,
                               char *buffer, DWORD size, const char *path);

// Sets [section] key to value in the file at path, creating what is missing.
// A null value deletes the key, a null key deletes the section. Returns
// nonzero on success; the file is replaced atomically or not at all.
BOOL WritePrivateProfileStringA(const char *section, const char *key, const char *value,
                                const char *path);
