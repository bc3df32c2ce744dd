#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/IniFile.h"

// The connection settings and the other values held from the configuration file
// ("kvarnik.ini" in the work folder): how each key is parsed, narrowed and checked, its
// default and the form it is written in.
//
// Two sets of defaults exist on purpose: a ChannelSettings made before any file is read
// (port "Com1", "TimTc" 10, ...) and the defaults of keys missing from the file (port
// "Com2", "TimTc" 0, ...). Loading always replaces every value, so a missing file or
// section yields the second set.

namespace kv {

// ---- Display texts, exactly as they are stored in the file and shown to the user ----

constexpr int kChannelTypeCount = 13;
// ChannelType 0..12; the name of 6 ends with a blank. 11 and 12 are the CAN-BUS types.
extern const std::array<std::string_view, kChannelTypeCount> kChannelTypeNames;
// Speed index 0..10 and its baud rate.
extern const std::array<int, 11> kSpeedBaud;
// The nine speed texts of the file and of the settings window ("   300 бод" ... "115200 бод").
extern const std::array<std::string_view, 9> kSpeedTexts;
// "Prot" 0..2: "Традиционный", "FT1.2", "FT1.1".
extern const std::array<std::string_view, 3> kProtocolCaptions;
// "Crc" 0..2, the captions of the settings window.
extern const std::array<std::string_view, 3> kCrcCaptions;
// "Blok1" 0..3, the controller variants.
extern const std::array<std::string_view, 4> kModelNames;
// "SpeedPC" 0..14, the CAN-BUS speeds in kbit/s as listed ("300" ... "  37,5" ... "  10").
extern const std::array<std::string_view, 15> kCanSpeedTexts;
// "Port" 0..7: "Com1" ... "Com8".
extern const std::array<std::string_view, 8> kPortNames;
// "Channel" 0/1: "Основной канал", "Интерфейсный модуль".
extern const std::array<std::string_view, 2> kChannelCaptions;

constexpr const char* kParametrSection = "Parametr";
constexpr const char* kPrinterSection = "Printer";
constexpr const char* kCanBusSection = "CAN-BUS";
constexpr const char* kPortsSection = "Ports";
constexpr const char* kPortSimulated = "sim";   // a "Ports" value meaning the simulated controller

// ---- Held values ----

// Section "Printer": kept for the report preview; nothing else depends on them.
struct PrinterSettings {
    int zg = 1;       // 0..2, title printing choice
    int pp = 0;       // 0..2, signature field choice
    int otstup = 1;   // 0..100, margin
};

// Section "Ports": which device each of "Com1".."Com8" opens. Never written by the program.
struct PortPaths {
    std::array<std::string, 8> device = defaults();
    bool sectionRead = false;   // the file had a "Ports" section
    static std::array<std::string, 8> defaults();   // /dev/ttyS0.. (COM1.. on Windows)
    bool isSimulated(int port) const;                // the value "sim"
};

// Section "CAN-BUS" as it stands in the file (raw values; the adapter block is built from
// them elsewhere). Never written by the program.
struct CanBusKeys {
    std::string acceptanceFilter;   // "Acceptance Filter"
    std::string acceptanceMask;     // "Acceptance Mask"
    std::string cnf321;             // "CNF 321"
};

struct ChannelSettings {
    // Section "Parametr", in the order of the file. Defaults: before any file is read.
    uint8_t port = 0;                 // "Port" 0..7 ("Com1".."Com8"); missing: 1
    uint8_t channelType = 0;          // "ChannelType" 0..12
    uint8_t speed = 5;                // "Speed", speed index 0..10
    uint8_t setNumber = 0;            // "SetNumber" 0..127, the controller's network number
    uint8_t channel = 0;              // "Channel": 0 main channel, 1 interface module
    bool modem = false;               // "Modem"
    bool simbol = false;              // "Simbol": the Hayes modem answers with words
    bool pulse = false;               // "Pulse": pulse dialling (else tone)
    std::string phone;                // "Phone", at most 50 characters
    std::string inimod = "AT V0 E0 S7=60";   // "Inimod", at most 255 characters
    uint8_t prot = 0;                 // "Prot" 0..2
    uint8_t crc = 0;                  // "Crc", FT1.2 CRC mode
    uint8_t multNumb = 0;             // "MultNumb", channel number on the channel switch
    uint8_t timTc = 10;               // "TimTc", telesignal poll period in seconds; missing: 0
    uint8_t timotk = 0;               // "Timotk", failure poll period in seconds (0 = none)
    std::array<std::string, 3> voice; // "Voice1".."Voice3", at most 255 characters
    bool avarYes = false;             // "avarYes": alarms sound
    bool report = false;              // "Report": the trace also goes to a dated file
    uint8_t blok1 = 1;                // "Blok1" 0..3, controller model index
    std::string nameArhInt;           // "NameArhInt", at most 50 characters
    bool avto = false;                // "Avto": detect two-wire / four-wire lines
    uint8_t codePC = 0;               // "CodePC", the computer's address (hexadecimal in the file)
    uint8_t speedPC = 0;              // "SpeedPC" 0..14, CAN-BUS speed index
    int32_t modemMin = 0;             // "ModemMin", minutes before a redial (0 = none)
    bool printOld = false;            // "Print": "OLD", else "New"

    PrinterSettings printer;          // section "Printer"
    PortPaths ports;                  // section "Ports"
    CanBusKeys canBus;                // section "CAN-BUS"

    int baud() const { return speed < kSpeedBaud.size() ? kSpeedBaud[speed] : kSpeedBaud[5]; }
    std::string portName() const;     // "Com1".."Com8"
    std::string portDevice() const;   // the device path of the port
    bool isCanBus() const { return channelType == 11 || channelType == 12; }
    // The telecontrol menu item is offered on the lines below the CAN-BUS types.
    bool telecontrolMenuVisible() const { return channelType < 11; }
};

// One controller configuration: a section whose upper-cased name contains "PARAMETR".
struct ConfigSection {
    std::string section;       // its name in the file
    std::string displayName;   // "Name", default "Контроллер_" + 1-based position
};

struct ConfigSections {
    std::vector<ConfigSection> entries;   // file order; never empty after loading
    // The first entry's name from its first "_" on ("_2" for "Parametr_2"), else empty:
    // the stem suffix of the list and descriptor files.
    std::string suffix;
};

// ---- Parsing of single keys (exposed for the settings window and the tests) ----

// "ChannelType": ASCII letters compared in capitals, all blanks removed; no match gives 0.
int channelTypeFromText(std::string_view text);
// The name to write; above 12 gives "Rs 232".
std::string channelTypeText(int channelType);
// "Speed": the digits of the text looked up among the nine speed texts, then fitted to the
// channel type; 5 (9600 baud) when nothing matches.
int speedIndexFromText(std::string_view text, int channelType);
// The text that reads back as the same index (7 and 8, which the file cannot express, as 9600).
std::string speedText(int speedIndex);
// "SpeedPC": digits, "," and "." kept, the list searched from its end; 0 when nothing matches.
int canSpeedFromText(std::string_view text);
std::string canSpeedText(int index);   // the list entry; an index outside the list gives entry 0
// "Prot": compared in capitals with the captions; 0 when nothing matches.
int protocolFromText(std::string_view text);

// ---- Whole sections ----

// Every section whose name in capitals contains "PARAMETR", with display names and suffix;
// with none, the section "Parametr" named "Контроллер_1".
ConfigSections listConfigSections(const IniFile& ini);
// Section "Parametr" (or another) into a ChannelSettings; keys missing give their defaults.
// Only the "Parametr" keys are touched; printer, ports and CAN-BUS values stay.
void readParametr(const IniFile& ini, ChannelSettings& s, const std::string& section = kParametrSection);
// Writes the section "Parametr" in the order of the file: its old lines are removed (its
// place in the file and its "Name" are kept), then every key including "Name1"/"Name2".
void writeParametr(IniFile& ini, const ChannelSettings& s, const std::string& section = kParametrSection);
PrinterSettings readPrinter(const IniFile& ini);
void writePrinter(IniFile& ini, const PrinterSettings& p);
PortPaths readPorts(const IniFile& ini);
CanBusKeys readCanBusKeys(const IniFile& ini);

// ---- The operations of the program ----

// The configuration file of a work folder: "kvarnik.ini", found whatever the case of its name.
std::string configFilePath(const std::string& workFolder);

// Reads the file at ini.path() into `ini` and loads everything from it: the configuration
// list, "Parametr", "Printer", "Ports", "CAN-BUS". A missing file gives the defaults of
// missing keys (returns false; no message is due).
bool loadSettings(IniFile& ini, ChannelSettings& s, ConfigSections& sections);
// The write operations re-read the file first, so that sections written meanwhile by other
// parts of the program (the preview's "Prew") survive; they then change only their keys
// and save atomically. False when the file cannot be written (ini.lastError() says why).
bool saveSettings(IniFile& ini, const ChannelSettings& s);         // the whole "Parametr"
bool saveAlarmFlag(IniFile& ini, const ChannelSettings& s);        // "avarYes" alone
bool savePrintSettings(IniFile& ini, const PrinterSettings& p);    // "Zg", "PP", "Otstup"

} // namespace kv
