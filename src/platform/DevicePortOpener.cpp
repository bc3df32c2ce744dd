#include "platform/DevicePortOpener.h"

#include <cctype>

#include "platform/LibSerialPort.h"
#include "platform/PosixTtyPort.h"

namespace kv {

namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trimmed(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// 1..8 for "Com1".."Com8" in any case, else 0.
int comNumber(const std::string& name)
{
    const std::string n = lower(trimmed(name));
    if (n.size() != 4 || n.compare(0, 3, "com") != 0 || n[3] < '1' || n[3] > '8')
        return 0;
    return n[3] - '0';
}

} // namespace

DevicePortOpener::DevicePortOpener(std::map<std::string, std::string> ports, Fallback fallback)
    : ports_(std::move(ports)), fallback_(std::move(fallback))
{
}

std::string DevicePortOpener::defaultDevice(int n)
{
#ifdef _WIN32
    return "COM" + std::to_string(n);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

std::map<std::string, std::string> DevicePortOpener::portMap(const std::array<std::string, 8>& values)
{
    std::map<std::string, std::string> m;
    for (std::size_t i = 0; i < values.size(); ++i)
        m["Com" + std::to_string(i + 1)] = values[i];
    return m;
}

bool DevicePortOpener::isDevicePath(const std::string& value)
{
    if (value.empty())
        return false;
    if (value[0] == '/' || value.rfind("\\\\", 0) == 0)
        return true;
#ifdef _WIN32
    const std::string v = lower(value);
    if (v.size() > 3 && v.compare(0, 3, "com") == 0) {
        for (std::size_t i = 3; i < v.size(); ++i)
            if (!std::isdigit(static_cast<unsigned char>(v[i])))
                return false;
        return true;
    }
#endif
    return false;
}

std::string DevicePortOpener::valueFor(const std::string& portName) const
{
    const std::string key = lower(trimmed(portName));
    for (const auto& [name, value] : ports_)
        if (lower(trimmed(name)) == key)
            return trimmed(value);
    const int n = comNumber(portName);
    return n > 0 ? defaultDevice(n) : std::string();
}

std::unique_ptr<SerialPort> DevicePortOpener::open(const std::string& portName)
{
    const std::string value = valueFor(portName);
    if (value.empty())
        return nullptr;
    if (isDevicePath(value)) {
        if (auto port = LibSerialPort::open(value))
            return port;
        // The serial library lists only ports with a hardware device behind them; a
        // pseudo-terminal (the simulated controller program offers one) is driven directly.
        return PosixTtyPort::open(value);
    }
    return fallback_ ? fallback_(value) : nullptr;
}

} // namespace kv
