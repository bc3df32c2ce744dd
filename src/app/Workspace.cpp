#include "app/Workspace.h"

#include <algorithm>
#include <cstring>

#include "app/SoundFiles.h"
#include "protocol/LineControl.h"
#include "text/Cp1251.h"
#include "text/Files.h"

namespace kv {

namespace {

std::string withTrailingSeparator(std::string folder)
{
    if (folder.empty())
        return "./";
    if (folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder;
}

// Text file lines (cp1251, CR LF or LF) as UTF-8, blank lines kept out.
std::vector<std::string> readTextLines(const std::string& path, bool& readable)
{
    std::vector<std::string> lines;
    std::string bytes;
    readable = text::readFileBytes(path, bytes);
    if (!readable)
        return lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(text::fromCp1251(line));
        pos = end + 1;
    }
    return lines;
}

// Copies a file into a fixed area. A file shorter than the record is not taken: its layout
// could not be trusted, and the empty marks already in the area are the safe reading.
void readRecordFile(const std::string& path, std::vector<uint8_t>& area, bool allowShort)
{
    std::string bytes;
    if (!text::readFileBytes(path, bytes, area.size() + 1) || bytes.empty())
        return;
    if (bytes.size() < area.size() && !allowShort)
        return;
    std::memcpy(area.data(), bytes.data(), std::min(bytes.size(), area.size()));
}

} // namespace

Workspace::Workspace(std::string folder, Clock& clock, EventPump& pump, Operator& op)
    : folder_(withTrailingSeparator(std::move(folder))),
      clock_(clock),
      pump_(pump),
      op_(op),
      debugLog_(clock, pump),
      dataLog_(clock, pump),
      exchange_(clock, pump, debugLog_),
      canLink_(exchange_),
      commands_(exchange_, canLink_),
      archives_(exchange_, canLink_, commands_),
      modem_(clock, pump, debugLog_, op)
{
    canLink_.setCancelRequest([this] { return modem_.state().cancel; });
    commands_.setFormatLookup([this](const ParamCode& code) -> std::optional<uint8_t> {
        return catalog_.findFormat(code.classIndex, code.number);
    });
    for (auto& a : descriptorAreas_)
        a.assign(kDescriptorAreaSize, 0);
    eventNames_.assign(kEventNamesSize, 0);
    debugLog_.setFolder(folder_);
    dataLog_.setFolder(folder_);
    ini_ = IniFile(configFilePath(folder_));
    exchange_.state().attemptCount = attemptSetting_;
}

Workspace::~Workspace() = default;

std::string Workspace::filePath(const std::string& name) const
{
    return text::resolveInFolder(folder_, name);
}

std::string Workspace::descriptorFile(ArchiveKind k) const
{
    static const char* const stems[] = {"Ar_Hour", "Ar_Day", "Ar_Mes", "Ar_Int"};
    return filePath(std::string(stems[static_cast<int>(k)]) + suffix_ + ".Fil");
}

void Workspace::activate()
{
    // Configuration.
    ini_ = IniFile(configFilePath(folder_));
    loadSettings(ini_, settings_, sections_);
    suffix_ = sections_.suffix;
    debugLog_.setWriteToFile(settings_.report);
    rebuildCanBlock();
    menu_.telecontrolVisible = settings_.telecontrolMenuVisible();
    menu_.modemItemsVisible = settings_.modem;
    menu_.speedDetectionEnabled = speedDetectionEnabledAtActivation(settings_.channelType);

    // Reference catalog and archive counts: catalog first, then the model table, so the
    // model's daily, monthly and interval counts stand and only the hourly override stays.
    modelIndex = settings_.blok1;
    archiveCounts_ = ArchiveCounts{};
    catalogLoaded_ = reference_.load(folder_) == ReferenceLoad::Loaded;
    rebuildCatalog(false);
    archiveCounts_.applyModel(modelIndex);
    if (!catalogLoaded_)
        op_.message(MessageKind::Error, kNoReferenceMessage);
    menu_.workWithControllerVisible = catalogLoaded_;
    menu_.teleindicationVisible = !catalogLoaded_;
    menu_.intervalsVisible = modelIndex > 1;
    menu_.sensorNamesVisible = modelIndex > 1;

    exchange_.state().attemptCount = attemptSetting_;
    checkSoundFiles(1, 3);

    // A port left open from before is closed, not just forgotten: it was opened without
    // sharing, so a forgotten handle would block the next open of the same port.
    closePort();

    loadFailureTexts();
    loadListFilesAtActivation();
    menu_.usbFlashVisible = text::fileExists(reportFile());
}

void Workspace::loadFailureTexts()
{
    bool readable = false;
    failureTexts_ = readTextLines(filePath("Error.txt"), readable);
    if (failureTexts_.empty())
        op_.message(MessageKind::Error, kNoFailureTextsMessage);
}

void Workspace::loadListFilesAtActivation()
{
    readDescriptorAreas();
    readEventNames();
    readBitSignals();
    modemLinkUp = false;
    modem_.markDown();
    menu_.modemItemsVisible = settings_.modem;
    menu_.endHayesEnabled = false;
    readSensorNames();
}

void Workspace::readDescriptorAreas()
{
    for (int k = 0; k < 4; ++k) {
        auto& area = descriptorAreas_[k];
        std::fill(area.begin(), area.end(), 0);
        for (std::size_t slot = 0; slot < 2 * 64; ++slot) {
            area[slot * kDescriptorSlotSize] = 255;
            area[slot * kDescriptorSlotSize + 10] = 0;
        }
        readRecordFile(descriptorFile(static_cast<ArchiveKind>(k)), area, false);
    }
}

void Workspace::readEventNames()
{
    for (std::size_t e = 0; e < 128; ++e) {
        eventNames_[e * 32] = 0;
        eventNames_[e * 32 + 1] = 0;
    }
    readRecordFile(eventNamesFile(), eventNames_, true);
}

void Workspace::readBitSignals()
{
    bitSignals_.clear();
    bitSignals_.load(bitSignalFile());
}

bool Workspace::saveBitSignals()
{
    std::string error;
    if (bitSignals_.save(bitSignalFile(), &error))
        return true;
    op_.message(MessageKind::Error, "Не удалось записать файл " + bitSignalFile() + ": " + error);
    return false;
}

void Workspace::readSensorNames()
{
    bool readable = false;
    sensorNames_ = readTextLines(sensorNamesFile(), readable);
}

void Workspace::loadGroupFiles()
{
    loadGroups(groups_, groupFile(), toleranceFile());
}

bool Workspace::saveGroupFiles()
{
    std::string error;
    if (saveGroups(groups_, groupFile(), toleranceFile(), &error))
        return true;
    op_.message(MessageKind::Error, "Не удалось записать список параметров: " + error);
    return false;
}

bool Workspace::saveToleranceFile()
{
    std::string error;
    if (saveTolerances(groups_, toleranceFile(), &error))
        return true;
    op_.message(MessageKind::Error, "Не удалось записать файл " + toleranceFile() + ": " + error);
    return false;
}

void Workspace::checkSoundFiles(int first, int last)
{
    for (int i = std::max(first, 1); i <= std::min(last, 3); ++i) {
        const std::string& name = settings_.voice[i - 1];
        std::string path = name;
        if (!name.empty() && name.front() != '/' && name.find(':') == std::string::npos)
            path = filePath(name);
        soundOk[i - 1] = !name.empty() && isPlayableWaveFile(path);
    }
}

void Workspace::toggleDebugMode()
{
    attemptSetting_ = attemptSetting_ == 3 ? 1 : 3;
}

void Workspace::saveSettings()
{
    if (!kv::saveSettings(ini_, settings_))
        op_.message(MessageKind::Error, "Не удалось записать файл настроек " + ini_.path() + ": " + ini_.lastError());
    menu_.telecontrolVisible = settings_.telecontrolMenuVisible();
    rebuildCanBlock();
}

void Workspace::afterSettingsWindow(bool saved)
{
    if (saved)
        saveSettings();
    modelIndex = settings_.blok1;
    rebuildCatalog(false);
    menu_.intervalsVisible = modelIndex > 1;
    menu_.sensorNamesVisible = modelIndex > 1;
    menu_.modemItemsVisible = settings_.modem;
    menu_.speedDetectionEnabled = speedDetectionEnabledAfterSettings(settings_.channelType);
    rebuildCanBlock();
}

void Workspace::saveAlarmFlag()
{
    if (!kv::saveAlarmFlag(ini_, settings_))
        op_.message(MessageKind::Error, "Не удалось записать файл настроек " + ini_.path() + ": " + ini_.lastError());
}

void Workspace::rebuildCanBlock()
{
    CanBusConfig cfg;
    cfg.acceptanceFilter = settings_.canBus.acceptanceFilter;
    cfg.acceptanceMask = settings_.canBus.acceptanceMask;
    cfg.cnf321 = settings_.canBus.cnf321;
    cfg.speedPc = settings_.speedPC;
    canLink_.setInitBlock(makeCanInitBlock(cfg));
}

void Workspace::rebuildCatalog(bool applyModelTableFirst)
{
    if (applyModelTableFirst)
        archiveCounts_.applyModel(modelIndex);
    catalog_.clear();
    if (catalogLoaded_)
        catalog_.build(reference_, modelIndex, &archiveCounts_);
}

bool Workspace::openPort()
{
    ExchangeState& st = exchange_.state();
    st.protocol = settings_.prot;
    st.networkNumber = settings_.setNumber;
    st.crcMode = settings_.crc;
    st.gatewayNode = 0;
    st.computerAddress = settings_.codePC;
    closePort();
    if (opener_)
        port_ = openLine(*opener_, settings_.portName(), settings_.speed, settings_.channelType, exchange_,
                         [this](SerialPort& p) { return canLink_.initAdapter(p); });
    if (!port_) {
        op_.message(MessageKind::Error, kBadPortMessage + settings_.portName());
        return false;
    }
    return true;
}

bool Workspace::connect()
{
    if (!port_)
        return false;
    ConnectRequest req;
    req.channelType = settings_.channelType;
    req.switchChannel = settings_.multNumb;
    req.channel = settings_.channel;
    req.autoDetect = settings_.avto;
    const ConnectOutcome out = kv::connect(exchange_, *port_, req, op_, [this] {
        if (modemLinkUp)
            return true;
        modemLinkUp = modemLink_ ? modemLink_()
                                 : modem_.bringUp(port_.get(), settings_.channelType, modemFieldsFrom(settings_));
        menu_.endHayesEnabled = modemLinkUp;
        return modemLinkUp;
    });
    settings_.channelType = static_cast<uint8_t>(out.channelType);
    return out.connected;
}

ExchangeResult Workspace::versionRead()
{
    if (!online || !port_)
        return 0;
    const int type = settings_.channelType;
    if (versionDone && type != 6 && type != 8)
        return 0;
    exchange_.probeFrameCounter(*port_, type);
    VersionInfo info;
    const ExchangeResult r = commands_.readVersion(*port_, type, info);
    if (r != 0)
        return r;
    version = info;
    versionDone = true;
    modelIndex = info.model;
    archiveCounts_.applyModel(modelIndex);
    menu_.intervalsVisible = modelIndex > 1;
    menu_.sensorNamesVisible = modelIndex > 1;
    if (modelIndex != settings_.blok1) {
        rebuildCatalog(false);
        settings_.blok1 = static_cast<uint8_t>(modelIndex);
        saveSettings();
    }
    return 0;
}

bool Workspace::telesignalStart()
{
    if (bitSignals_.empty()) {
        op_.message(MessageKind::Warning, kNoBitSignalsMessage);
        return false;
    }
    if (!port_ && !openPort())
        return false;
    LineParams p = port_->params();
    p.baud = baudRate(settings_.speed);
    port_->setParams(p);
    const bool connected = connect();
    if (connected)
        versionRead();
    if (settings_.channelType < 6 && settings_.setNumber != 0) {
        op_.setBusy(true);
        releaseAtEnd(exchange_, *port_, settings_.channelType);
        op_.setBusy(false);
    }
    return connected;
}

void Workspace::hangUpModem()
{
    const int type = settings_.channelType;
    if (modemLinkUp && port_ && (type == 6 || type == 8) && modem_.hangUp(*port_, type))
        closePort();
    modemLinkUp = false;
    modem_.markDown();
    menu_.endHayesEnabled = false;
}

void Workspace::shutdown()
{
    hangUpModem();
    closePort();
}

} // namespace kv
