#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Clock.h"
#include "app/EventPump.h"
#include "app/IniFile.h"
#include "app/Logs.h"
#include "app/MainMenu.h"
#include "app/Operator.h"
#include "app/ParamCatalog.h"
#include "app/Settings.h"
#include "channels/ModemSession.h"
#include "lists/GroupList.h"
#include "telecontrol/BitSignals.h"
#include "protocol/ArchiveCommands.h"
#include "protocol/CanBus.h"
#include "protocol/Commands.h"
#include "protocol/Exchange.h"
#include "protocol/SerialPort.h"

// Everything the program holds for its whole run: the settings, the reference catalog, the
// failure texts, the descriptor and bit-signal areas, the file names, the run-time flags,
// the exchange engine and the open port. One object, created at start and passed by
// reference; the windows show it and call its operations.

namespace kv {

constexpr std::size_t kDescriptorAreaSize = 5888;   // 2 × 64 slots of 46 bytes
constexpr std::size_t kDescriptorSlotSize = 46;
constexpr std::size_t kEventNamesSize = 4096;        // 128 entries of 32 bytes

enum class ArchiveKind { Hourly = 0, Daily = 1, Monthly = 2, Interval = 3 };

constexpr const char* kNoReferenceMessage =
    "В каталоге отсутствует справочный файл SPRAV.TXT - чтение параметров ЗЕНТАР запрещено";
constexpr const char* kNoFailureTextsMessage =
    "В каталоге отсутствует список отказов ЗЕНТАР - просмотр текущих и накопленных отказов запрещен ";
constexpr const char* kDebugModeStatus = "Отладочная печать и однократные запросы";
constexpr const char* kConfigFileName = "kvarnik.ini";
constexpr const char* kBadPortMessage = "Неверный номер СОМ-порта ";

class Workspace {
public:
    Workspace(std::string folder, Clock& clock, EventPump& pump, Operator& op);
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // The work folder, with a trailing separator.
    const std::string& folder() const { return folder_; }
    // A data file of the work folder by name (case-insensitive fallback for files from Windows).
    std::string filePath(const std::string& name) const;

    Clock& clock() { return clock_; }
    EventPump& pump() { return pump_; }
    Operator& op() { return op_; }

    // The activation sequence: configuration, reference catalog and archive counts, sound
    // files, failure texts, the list and descriptor files. Messages go to the operator.
    void activate();
    // The program is closing: hang up a modem link, close the port.
    void shutdown();

    // Configuration.
    IniFile& ini() { return ini_; }
    ChannelSettings& settings() { return settings_; }
    const ChannelSettings& settings() const { return settings_; }
    ConfigSections& sections() { return sections_; }
    const std::string& suffix() const { return suffix_; }
    void saveSettings();      // the whole "Parametr" section
    void saveAlarmFlag();     // "avarYes" alone
    // After the settings window: a save writes the configuration; the model index goes back to
    // "Blok1" with its catalog (no model table), the modem items and the speed search follow
    // the new channel, and the CAN adapter block is rebuilt.
    void afterSettingsWindow(bool saved);

    // Reference catalog.
    ReferenceFile& reference() { return reference_; }
    ParamCatalog& catalog() { return catalog_; }
    ArchiveCounts& archiveCounts() { return archiveCounts_; }
    bool catalogLoaded() const { return catalogLoaded_; }

    // Failure texts (lines of Error.txt, UTF-8).
    const std::vector<std::string>& failureTexts() const { return failureTexts_; }

    // Areas read at activation.
    std::array<std::vector<uint8_t>, 4>& descriptorAreas() { return descriptorAreas_; }
    std::vector<uint8_t>& eventNames() { return eventNames_; }
    // The bit-signal descriptions (read at every activation).
    BitSignalTable& bitSignals() { return bitSignals_; }
    int bitSignalCount() const { return bitSignals_.count(); }
    // Writes them: 4096 bytes when a signal is described, an empty file otherwise.
    bool saveBitSignals();
    const std::vector<std::string>& sensorNames() const { return sensorNames_; }

    // The parameter groups (read from their file before each window that uses them).
    GroupList& groups() { return groups_; }
    // Read the group file with its tolerance bounds; write both; write the bounds alone.
    // A failed write is shown to the operator with the reason.
    void loadGroupFiles();
    bool saveGroupFiles();
    bool saveToleranceFile();

    // File names of the lists, with the configuration suffix.
    std::string groupFile() const { return filePath("Zakaz" + suffix_ + ".fil"); }
    std::string toleranceFile() const { return filePath("Dopusk" + suffix_ + ".fil"); }
    std::string reportFile() const { return filePath("Report" + suffix_ + ".fil"); }
    std::string titleFile() const { return filePath("Title" + suffix_ + ".fil"); }
    std::string telecontrolFile() const { return filePath("Tupr" + suffix_ + ".fil"); }
    std::string bitSignalFile() const { return filePath("Matr" + suffix_ + ".Fil"); }
    std::string descriptorFile(ArchiveKind k) const;
    std::string eventNamesFile() const { return filePath("Ar_Sob" + suffix_ + ".Fil"); }
    std::string sensorNamesFile() const { return filePath("DatUsl" + suffix_ + ".txt"); }

    // Run-time flags.
    bool online = true;          // off while "Тест" runs
    bool modemLinkUp = false;
    bool versionDone = false;   // the first successful version read of the run
    int modelIndex = 1;          // from "Blok1", replaced by what the controller reports
    std::array<bool, 3> soundOk{};   // Voice1..Voice3 can be played

    // Debug mode: single attempts and the visible trace.
    int attemptSetting() const { return attemptSetting_; }
    bool debugMode() const { return attemptSetting_ == 1; }
    void toggleDebugMode();

    const MenuState& menu() const { return menu_; }
    MenuState& menu() { return menu_; }

    // Check of the sound files first..last (1-based, inclusive).
    void checkSoundFiles(int first, int last);

    // Services.
    DebugLog& debugLog() { return debugLog_; }
    DataLog& dataLog() { return dataLog_; }
    Exchange& exchange() { return exchange_; }

    CanLink& canLink() { return canLink_; }
    Commands& commands() { return commands_; }
    ArchiveCommands& archives() { return archives_; }
    // The CAN adapter block from the "CAN-BUS" section and "SpeedPC"; rebuilt whenever the
    // configuration is loaded or saved.
    void rebuildCanBlock();
    // The catalog the commands check codes against (after every rebuild).
    void rebuildCatalog(bool applyModelTableFirst);

    // Who turns "Com1".."Com8" into a port (devices, the simulated controller, a test line).
    void setPortOpener(PortOpener* opener) { opener_ = opener; }
    // Open port: hands protocol, network number, CRC mode, gateway node and computer address
    // to the engine, closes a port still open and opens the configured one with its line
    // discipline. On failure "Неверный номер СОМ-порта " + the name, and no port.
    bool openPort();
    // The connect step on the open port: switch channel, wiring, network number or the modem
    // link. A detected wiring replaces the configured channel type for the rest of the run.
    bool connect();
    // Brings a modem link up on channel types 6 and 8. The desktop program sets its modem
    // window here; without one the configured number is dialled directly.
    void setModemLink(std::function<bool()> link) { modemLink_ = std::move(link); }
    ModemSession& modem() { return modem_; }
    // Hangs up a modem link that is up (closing the port when the modem would not let go).
    void hangUpModem();
    // The open port (null when none).
    SerialPort* port() { return port_.get(); }
    void setPort(std::unique_ptr<SerialPort> p) { port_ = std::move(p); }
    void closePort() { port_.reset(); }

    // The version read before online work and the telesignal view: frame counter probe,
    // version and model; a model other than "Blok1" rebuilds the catalog and is stored.
    ExchangeResult versionRead();
    // "Телеиндикация" without online work: described signals, the port, the connect step and
    // the version read, the release on addressed lines. True when the window may be shown.
    bool telesignalStart();
    VersionInfo version;

private:
    void loadListFilesAtActivation();
    void readDescriptorAreas();
    void readEventNames();
    void readBitSignals();
    void readSensorNames();
    void loadFailureTexts();

    std::string folder_;
    Clock& clock_;
    EventPump& pump_;
    Operator& op_;

    IniFile ini_;
    ChannelSettings settings_;
    ConfigSections sections_;
    std::string suffix_;

    ReferenceFile reference_;
    ParamCatalog catalog_;
    ArchiveCounts archiveCounts_;
    bool catalogLoaded_ = false;

    std::vector<std::string> failureTexts_;
    std::array<std::vector<uint8_t>, 4> descriptorAreas_;
    std::vector<uint8_t> eventNames_;
    BitSignalTable bitSignals_;
    std::vector<std::string> sensorNames_;
    GroupList groups_;

    int attemptSetting_ = 3;
    MenuState menu_;

    DebugLog debugLog_;
    DataLog dataLog_;
    Exchange exchange_;
    CanLink canLink_;
    Commands commands_;
    ArchiveCommands archives_;
    PortOpener* opener_ = nullptr;
    std::function<bool()> modemLink_;
    ModemSession modem_;
    std::unique_ptr<SerialPort> port_;
};

} // namespace kv
