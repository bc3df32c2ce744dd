#include "text/Files.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "text/Cp1251.h"

namespace fs = std::filesystem;

namespace kv::text {
namespace {

std::string tempNameFor(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned long long salt = [] {
        auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        try {
            std::random_device rd;
            ticks ^= (static_cast<unsigned long long>(rd()) << 32) ^ rd();
        } catch (...) {
            // no entropy source: the clock and the counter still keep names apart
        }
        return ticks;
    }();
    char buf[64];
    std::snprintf(buf, sizeof buf, ".%016llx.%u.tmp", salt, counter.fetch_add(1));
    fs::path tmp = target;
    tmp += buf;
    return tmp.string();
}

void setError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

} // namespace

bool writeFileAtomic(const std::string& path, const std::string& bytes, std::string* error)
{
    const fs::path target(path);
    const std::string tmp = tempNameFor(target);
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        setError(error, "cannot create " + tmp);
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::remove(tmp.c_str());
        setError(error, "cannot write " + tmp);
        return false;
    }
    std::error_code ec;
    fs::rename(tmp, target, ec);
    if (ec) {
        std::remove(tmp.c_str());
        setError(error, "cannot replace " + path + ": " + ec.message());
        return false;
    }
    return true;
}

bool readFileBytes(const std::string& path, std::string& out, std::size_t maxBytes)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::string data;
    char buf[65536];
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        if (n > 0) {
            if (data.size() + n > maxBytes) {
                ok = false;
                break;
            }
            data.append(buf, n);
        }
        if (n < sizeof buf) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok)
        return false;
    out = std::move(data);
    return true;
}

bool appendFile(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f)
        return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    return folder + "/" + name;
}

std::string resolveInFolder(const std::string& folder, const std::string& name)
{
    const std::string exact = joinPath(folder, name);
    std::error_code ec;
    if (fs::exists(exact, ec))
        return exact;
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos)
        return exact;
    const std::string want = upper(name);
    std::string best;
    const fs::path dir = folder.empty() ? fs::path(".") : fs::path(folder);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (upper(candidate) == want && (best.empty() || candidate < best))
            best = candidate;
    }
    return best.empty() ? exact : joinPath(folder, best);
}

bool fileExists(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

} // namespace kv::text
