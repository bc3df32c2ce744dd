// The configuration parser and the settings built on it, fed arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/IniFile.h"
#include "app/Settings.h"

namespace {
void check(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    kv::IniFile ini;
    ini.parse(bytes);

    // Writing what was read changes nothing more on a second pass.
    const std::string once = ini.serialize();
    kv::IniFile again;
    again.parse(once);
    check(again.serialize() == once);

    // Names holding the unassigned byte 0x98 come out as U+FFFD and cannot be addressed.
    const auto addressable = [](const std::string& name) { return name.find("\xEF\xBF\xBD") == std::string::npos; };
    for (const auto& section : ini.sections()) {
        check(!addressable(section) || ini.hasSection(section));
        for (const auto& key : ini.keys(section)) {
            check(!addressable(section) || !addressable(key) || ini.hasKey(section, key));
            (void)ini.readInt(section, key, 0);
        }
        (void)ini.sectionLines(section);
    }

    kv::ChannelSettings s;
    kv::ConfigSections sections = kv::listConfigSections(ini);
    check(!sections.entries.empty());
    kv::readParametr(ini, s);
    s.printer = kv::readPrinter(ini);
    s.ports = kv::readPorts(ini);
    s.canBus = kv::readCanBusKeys(ini);
    check(s.channelType < kv::kChannelTypeCount && s.speed <= 10 && s.setNumber < 128);
    check(s.blok1 < 4 && s.speedPC < 15 && s.port < 8 && s.modemMin >= 0);

    // The numbers and choices of "Parametr" survive their own write form.
    kv::writeParametr(ini, s);
    kv::ChannelSettings back;
    kv::readParametr(ini, back);
    check(back.port == s.port && back.channelType == s.channelType && back.setNumber == s.setNumber);
    check(back.channel == s.channel && back.prot == s.prot && back.crc == s.crc);
    check(back.timTc == s.timTc && back.timotk == s.timotk && back.blok1 == s.blok1);
    check(back.codePC == s.codePC && back.speedPC == s.speedPC && back.modemMin == s.modemMin);
    check(back.avarYes == s.avarYes && back.modem == s.modem && back.printOld == s.printOld);
    return 0;
}
