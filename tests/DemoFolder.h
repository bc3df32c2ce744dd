#pragma once
// Tests that run the program's own files start from a fresh copy of the demo work folder.
#include <filesystem>

namespace kv::test {

// Replaces `folder` with a copy of data/demo and returns it.
inline std::filesystem::path copyDemoFolder(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    fs::remove_all(folder);
    fs::copy(fs::path(KV_SOURCE_DIR) / "data" / "demo", folder, fs::copy_options::recursive);
    return folder;
}

} // namespace kv::test
