#pragma once
#include <string>

// File access shared by every area: the user's data is never half-written, and files
// written on Windows are found whatever the case of their names.

namespace kv::text {

// Temporary file in the same folder, flush, rename over the old one.
bool writeFileAtomic(const std::string& path, const std::string& bytes, std::string* error = nullptr);
// Whole file as bytes; false when it cannot be read.
bool readFileBytes(const std::string& path, std::string& out);
// Appends bytes to a file, creating it when missing; false on failure.
bool appendFile(const std::string& path, const std::string& bytes);
// The path of `name` in `folder`, falling back to a case-insensitive match of the name
// (MATR.FIL for Matr.Fil). When nothing matches, the exact path (so it can be created).
std::string resolveInFolder(const std::string& folder, const std::string& name);
bool fileExists(const std::string& path);

} // namespace kv::text
