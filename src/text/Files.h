#pragma once
#include <cstddef>
#include <string>

// File access shared by every area: the user's data is never half-written, and files
// written on Windows are found whatever the case of their names.

namespace kv::text {

// Temporary file in the same folder, flush, rename over the old one. On failure the old
// file is untouched, the temporary file removed, and `error` (when given) says why.
bool writeFileAtomic(const std::string& path, const std::string& bytes, std::string* error = nullptr);
// Whole file as bytes; false when it cannot be read (missing, a folder, unreadable) or
// when it is larger than `maxBytes`.
bool readFileBytes(const std::string& path, std::string& out,
                   std::size_t maxBytes = std::size_t(256) * 1024 * 1024);
// Appends bytes to a file, creating it when missing; false on failure.
bool appendFile(const std::string& path, const std::string& bytes);
// The path of `name` in `folder`, falling back to a case-insensitive match of the name
// (MATR.FIL for Matr.Fil; ASCII and Cyrillic letters). When several names match, the
// first in byte order wins. When nothing matches, the exact path (so it can be created).
std::string resolveInFolder(const std::string& folder, const std::string& name);
// folder + name with one separator between them.
std::string joinPath(const std::string& folder, const std::string& name);
bool fileExists(const std::string& path);   // an existing regular file (or a link to one)

} // namespace kv::text
