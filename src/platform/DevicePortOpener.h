#pragma once
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "protocol/SerialPort.h"

// "Com1".."Com8" of the configuration to a real serial device. The configuration's "Ports"
// section maps a port name to a device path; a value that is not a device path ("sim") is
// handed to the fallback, which can bind it to something else, such as the simulated
// controller.

namespace kv {

class DevicePortOpener final : public PortOpener {
public:
    using Fallback = std::function<std::unique_ptr<SerialPort>(const std::string& value)>;

    explicit DevicePortOpener(std::map<std::string, std::string> ports = {}, Fallback fallback = {});

    void setPorts(std::map<std::string, std::string> ports) { ports_ = std::move(ports); }
    void setFallback(Fallback fallback) { fallback_ = std::move(fallback); }

    // nullptr when the name is unknown, the device cannot be opened, or the value is not a
    // device path and no fallback takes it.
    std::unique_ptr<SerialPort> open(const std::string& portName) override;

    // What a port name stands for: the "Ports" entry (names compared without regard to case),
    // else the platform's device for Com1..Com8, else "".
    std::string valueFor(const std::string& portName) const;

    // The platform's device for "Com<n>", n = 1..8: /dev/ttyS<n-1> (COM<n> on Windows).
    static std::string defaultDevice(int n);
    // "Com1".."Com8" to the values of a list indexed by port number - 1 (the Ports section
    // as the configuration holds it).
    static std::map<std::string, std::string> portMap(const std::array<std::string, 8>& values);
    static bool isDevicePath(const std::string& value);

private:
    std::map<std::string, std::string> ports_;
    Fallback fallback_;
};

} // namespace kv
