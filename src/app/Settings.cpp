#include "app/Settings.h"

#include "protocol/LineControl.h"

#include <algorithm>
#include <cstdio>

#include "text/Cp1251.h"
#include "text/Files.h"
#include "text/NumberFormat.h"

namespace kv {

// One table of names for the whole program: the line code owns it.
const std::array<std::string_view, kChannelTypeCount> kChannelTypeNames = [] {
    std::array<std::string_view, kChannelTypeCount> names{};
    for (int t = 0; t < kChannelTypeCount; ++t)
        names[std::size_t(t)] = channelTypeName(t);
    return names;
}();

const std::array<int, 11> kSpeedBaud = [] {
    std::array<int, 11> baud{};
    for (int i = 0; i < 11; ++i)
        baud[std::size_t(i)] = baudRate(i);
    return baud;
}();

const std::array<std::string_view, 9> kSpeedTexts = {
    "   300 бод", "   600 бод", "  1200 бод", "  2400 бод", "  4800 бод",
    "  9600 бод", " 19200 бод", " 57600 бод", "115200 бод",
};

const std::array<std::string_view, 3> kProtocolCaptions = {"Традиционный", "FT1.2", "FT1.1"};

const std::array<std::string_view, 3> kCrcCaptions = {
    "CRC не расчитывается",
    "CRC расчитывается и передается дополнительно в данных",
    "CRC передается вместо КС и конца кадра",
};

const std::array<std::string_view, 4> kModelNames = {
    "ЗЕНТАР 10 базовый",
    "ЗЕНТАР 10 минимальный",
    "ЗЕНТАР 10 базовый расширяемый",
    "ЗЕНТАР - 10 / 17",
};

const std::array<std::string_view, 15> kCanSpeedTexts = {
    "300", "200", "150", "120", "100", "  75", "  60", "  50",
    "  40", "  37,5", "  30", "  25", "  20", "  15", "  10",
};

const std::array<std::string_view, 8> kPortNames = {"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8"};

const std::array<std::string_view, 2> kChannelCaptions = {"Основной канал", "Интерфейсный модуль"};

namespace {

constexpr const char* kConfigName = "kvarnik.ini";

std::string removeBlanks(std::string_view s)
{
    std::string out;
    for (char ch : s)
        if (ch != ' ')
            out += ch;
    return out;
}

std::string keepOnly(std::string_view s, std::string_view allowedExtra)
{
    std::string out;
    for (char ch : s)
        if ((ch >= '0' && ch <= '9') || allowedExtra.find(ch) != std::string_view::npos)
            out += ch;
    return out;
}

// Substring search that, like the Pascal one, never finds an empty text.
bool contains(std::string_view hay, std::string_view needle)
{
    return !needle.empty() && hay.find(needle) != std::string_view::npos;
}

bool flag(const IniFile& ini, const std::string& sec, const char* key, const char* yes = "YES")
{
    return text::asciiUpper(ini.readString(sec, key)) == yes;
}

// A number key: decimal (or hexadecimal with `hex`); `def` when it does not convert.
long number(const IniFile& ini, const std::string& sec, const char* key, long def, bool hex = false)
{
    if (!ini.hasKey(sec, key))
        return def;
    const std::string text = ini.readString(sec, key);
    long v = 0;
    if (!text::parseInteger(hex ? "$" + text : text, v))
        return def;
    return v;
}

uint8_t narrow(long v) { return uint8_t(static_cast<unsigned long>(v) & 0xFFu); }

std::string cut(const std::string& s, std::size_t chars) { return text::leftChars(s, chars); }

const char* yesNo(bool b) { return b ? "Yes" : "No"; }

} // namespace

// ---- PortPaths, ChannelSettings ----

std::array<std::string, 8> PortPaths::defaults()
{
    std::array<std::string, 8> d;
    for (int i = 0; i < 8; ++i) {
#ifdef _WIN32
        d[std::size_t(i)] = "COM" + std::to_string(i + 1);
#else
        d[std::size_t(i)] = "/dev/ttyS" + std::to_string(i);
#endif
    }
    return d;
}

bool PortPaths::isSimulated(int port) const
{
    return port >= 0 && port < 8 && text::asciiUpper(device[std::size_t(port)]) == "SIM";
}

std::string ChannelSettings::portName() const
{
    return std::string(kPortNames[port < 8 ? port : 0]);
}

std::string ChannelSettings::portDevice() const
{
    return ports.device[port < 8 ? port : 0];
}

// ---- Single keys ----

int channelTypeFromText(std::string_view text)
{
    const std::string want = text::asciiUpper(removeBlanks(text));
    for (int i = 0; i < kChannelTypeCount; ++i)
        if (text::asciiUpper(removeBlanks(kChannelTypeNames[std::size_t(i)])) == want)
            return i;
    return 0;
}

std::string channelTypeText(int channelType)
{
    if (channelType < 0 || channelType >= kChannelTypeCount)
        channelType = 0;
    return std::string(kChannelTypeNames[std::size_t(channelType)]);
}

int speedIndexFromText(std::string_view text, int channelType)
{
    const std::string digits = keepOnly(text, "");
    int w = -1;
    for (std::size_t i = 0; i < kSpeedTexts.size(); ++i) {
        if (contains(kSpeedTexts[i], digits)) {
            w = int(i);
            break;
        }
    }
    if (w < 0)
        return 5;
    if (channelType == 4 || channelType == 5)
        return w > 2 ? 2 : w;
    if (channelType == 11)
        return w == 7 || w == 8 ? w + 2 : 10;
    return w < 7 ? w : 5;
}

std::string speedText(int speedIndex)
{
    if (speedIndex >= 0 && speedIndex <= 6)
        return std::string(kSpeedTexts[std::size_t(speedIndex)]);
    if (speedIndex == 9)
        return std::string(kSpeedTexts[7]);
    if (speedIndex == 10)
        return std::string(kSpeedTexts[8]);
    return std::string(kSpeedTexts[5]);
}

int canSpeedFromText(std::string_view text)
{
    const std::string value = keepOnly(text, ",.");
    for (std::size_t i = kCanSpeedTexts.size(); i-- > 0;)
        if (contains(kCanSpeedTexts[i], value))
            return int(i);
    return 0;
}

std::string canSpeedText(int index)
{
    if (index < 0 || index >= int(kCanSpeedTexts.size()))
        index = 0;
    return std::string(kCanSpeedTexts[std::size_t(index)]);
}

int protocolFromText(std::string_view text)
{
    const std::string want = text::asciiUpper(text);
    for (std::size_t i = 0; i < kProtocolCaptions.size(); ++i)
        if (text::asciiUpper(kProtocolCaptions[i]) == want)
            return int(i);
    return 0;
}

// ---- Sections ----

ConfigSections listConfigSections(const IniFile& ini)
{
    ConfigSections out;
    for (const auto& name : ini.sections()) {
        if (text::asciiUpper(name).find("PARAMETR") == std::string::npos)
            continue;
        const std::string def = "Контроллер_" + std::to_string(out.entries.size() + 1);
        std::string display = ini.readString(name, "Name", def);
        if (display.empty())
            display = name;
        out.entries.push_back({name, display});
    }
    if (out.entries.empty())
        out.entries.push_back({kParametrSection, "Контроллер_1"});
    const std::string& first = out.entries.front().section;
    const std::size_t us = first.find('_');
    out.suffix = us == std::string::npos ? std::string() : first.substr(us);
    return out;
}

void readParametr(const IniFile& ini, ChannelSettings& s, const std::string& sec)
{
    const std::string port = ini.readString(sec, "Port");
    s.port = 1;
    for (std::size_t i = 0; i < kPortNames.size(); ++i)
        if (port == kPortNames[i])
            s.port = uint8_t(i);

    s.channelType = uint8_t(channelTypeFromText(ini.readString(sec, "ChannelType")));
    s.speed = uint8_t(speedIndexFromText(ini.readString(sec, "Speed"), s.channelType));

    s.setNumber = narrow(number(ini, sec, "SetNumber", 0));
    if (s.setNumber & 0x80)
        s.setNumber = 0;
    s.channel = narrow(number(ini, sec, "Channel", 0));
    if (s.channel >= 254)
        s.channel = 0;

    s.modem = flag(ini, sec, "Modem");
    s.simbol = flag(ini, sec, "Simbol");
    s.pulse = flag(ini, sec, "Pulse");
    s.phone = cut(ini.readString(sec, "Phone"), 50);
    s.inimod = cut(ini.readString(sec, "Inimod", "AT V0 E0 S7=60"), 255);

    s.prot = uint8_t(protocolFromText(ini.readString(sec, "Prot")));
    s.crc = narrow(number(ini, sec, "Crc", 0));
    if (s.crc >= 253)
        s.crc = 0;
    s.multNumb = narrow(number(ini, sec, "MultNumb", 0));
    s.timTc = narrow(number(ini, sec, "TimTc", 0));
    s.timotk = narrow(number(ini, sec, "Timotk", 0));
    for (std::size_t i = 0; i < s.voice.size(); ++i)
        s.voice[i] = cut(ini.readString(sec, "Voice" + std::to_string(i + 1)), 255);
    s.avarYes = flag(ini, sec, "avarYes");
    s.report = flag(ini, sec, "Report");

    s.blok1 = narrow(number(ini, sec, "Blok1", 1));
    if (s.blok1 >= 4)
        s.blok1 = 1;
    s.nameArhInt = cut(ini.readString(sec, "NameArhInt"), 50);
    s.avto = flag(ini, sec, "Avto");
    s.codePC = narrow(number(ini, sec, "CodePC", 0, true));
    s.speedPC = uint8_t(canSpeedFromText(ini.readString(sec, "SpeedPC")));
    const long minutes = number(ini, sec, "ModemMin", 0);
    s.modemMin = int32_t(minutes < 0 ? 0 : minutes);
    s.printOld = flag(ini, sec, "Print", "OLD");
}

void writeParametr(IniFile& ini, const ChannelSettings& s, const std::string& sec)
{
    // The section is rebuilt from scratch, but its display name belongs to the operator.
    const bool hadName = ini.hasKey(sec, "Name");
    const std::string name = ini.readString(sec, "Name");
    ini.clearSection(sec);
    if (hadName)
        ini.writeString(sec, "Name", name);

    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X", unsigned(s.codePC));
    const std::string protocol(kProtocolCaptions[s.prot <= 2 ? s.prot : 0]);

    ini.writeString(sec, "Port", s.portName());
    ini.writeString(sec, "ChannelType", channelTypeText(s.channelType));
    ini.writeString(sec, "Speed", speedText(s.speed));
    ini.writeInt(sec, "SetNumber", s.setNumber);
    ini.writeInt(sec, "Channel", s.channel);
    ini.writeString(sec, "Modem", yesNo(s.modem));
    ini.writeString(sec, "Simbol", yesNo(s.simbol));
    ini.writeString(sec, "Pulse", yesNo(s.pulse));
    ini.writeString(sec, "Phone", s.phone);
    ini.writeString(sec, "Inimod", s.inimod);
    ini.writeString(sec, "Prot", protocol);
    ini.writeInt(sec, "Crc", s.crc);
    ini.writeInt(sec, "MultNumb", s.multNumb);
    ini.writeInt(sec, "TimTc", s.timTc);
    ini.writeInt(sec, "Timotk", s.timotk);
    for (std::size_t i = 0; i < s.voice.size(); ++i)
        ini.writeString(sec, "Voice" + std::to_string(i + 1), s.voice[i]);
    ini.writeString(sec, "avarYes", yesNo(s.avarYes));
    ini.writeString(sec, "Report", yesNo(s.report));
    ini.writeString(sec, "Name1", "Ведущий");
    ini.writeString(sec, "Name2", "Ведомый");
    ini.writeInt(sec, "Blok1", s.blok1);
    ini.writeString(sec, "NameArhInt", s.nameArhInt);
    ini.writeString(sec, "Avto", yesNo(s.avto));
    ini.writeString(sec, "CodePC", hex);
    ini.writeString(sec, "SpeedPC", canSpeedText(s.speedPC));
    ini.writeInt(sec, "ModemMin", s.modemMin);
    ini.writeString(sec, "Print", s.printOld ? "OLD" : "New");
}

PrinterSettings readPrinter(const IniFile& ini)
{
    PrinterSettings p;
    p.zg = int(number(ini, kPrinterSection, "Zg", 1));
    if (p.zg < 0 || p.zg > 2)
        p.zg = 1;
    p.pp = int(number(ini, kPrinterSection, "PP", 0));
    if (p.pp < 0 || p.pp > 2)
        p.pp = 0;
    p.otstup = int(number(ini, kPrinterSection, "Otstup", 1));
    if (p.otstup < 0 || p.otstup > 100)
        p.otstup = 1;
    return p;
}

void writePrinter(IniFile& ini, const PrinterSettings& p)
{
    ini.writeInt(kPrinterSection, "Zg", p.zg);
    ini.writeInt(kPrinterSection, "PP", p.pp);
    ini.writeInt(kPrinterSection, "Otstup", p.otstup);
}

PortPaths readPorts(const IniFile& ini)
{
    PortPaths p;
    p.sectionRead = ini.hasSection(kPortsSection);
    for (std::size_t i = 0; i < p.device.size(); ++i) {
        const std::string v = ini.readString(kPortsSection, std::string(kPortNames[i]));
        if (!v.empty())
            p.device[i] = v;
    }
    return p;
}

CanBusKeys readCanBusKeys(const IniFile& ini)
{
    return {ini.readString(kCanBusSection, "Acceptance Filter"),
            ini.readString(kCanBusSection, "Acceptance Mask"),
            ini.readString(kCanBusSection, "CNF 321")};
}

// ---- Operations ----

std::string configFilePath(const std::string& workFolder)
{
    return text::resolveInFolder(workFolder, kConfigName);
}

bool loadSettings(IniFile& ini, ChannelSettings& s, ConfigSections& sections)
{
    const bool found = ini.load();
    sections = listConfigSections(ini);
    readParametr(ini, s);
    s.printer = readPrinter(ini);
    s.ports = readPorts(ini);
    s.canBus = readCanBusKeys(ini);
    return found;
}

namespace {

// Read-modify-write of the file on disk, as the profile functions do it.
template <class Change>
bool rewrite(IniFile& ini, Change change)
{
    IniFile fresh(ini.path());
    // A file that exists but cannot be read is not replaced by a copy that lost its other
    // sections: the image read last stands in for it.
    if (!fresh.load() && text::fileExists(ini.path()))
        fresh = ini;
    change(fresh);
    const bool ok = fresh.save();
    ini = fresh;
    return ok;
}

} // namespace

bool saveSettings(IniFile& ini, const ChannelSettings& s)
{
    return rewrite(ini, [&s](IniFile& f) { writeParametr(f, s); });
}

bool saveAlarmFlag(IniFile& ini, const ChannelSettings& s)
{
    return rewrite(ini, [&s](IniFile& f) { f.writeString(kParametrSection, "avarYes", yesNo(s.avarYes)); });
}

bool savePrintSettings(IniFile& ini, const PrinterSettings& p)
{
    return rewrite(ini, [&p](IniFile& f) { writePrinter(f, p); });
}

} // namespace kv
