#include "app/OnlineWork.h"

#include <array>

#include "app/Workspace.h"
#include "lists/GroupList.h"
#include "lists/ParamGroup.h"
#include "protocol/LineControl.h"

namespace kv {

std::string runStateQuestion(const std::string& stateName)
{
    return "Для работы с групповыми параметрами ЗЕНТАР должен находится в состоянии РАБОТА. "
           "Перевести ЗЕНТАР из состояния "
         + stateName + " в состояние РАБОТА ?";
}

namespace {

struct Busy {
    explicit Busy(Operator& op) : op_(op) { op_.setBusy(true); }
    ~Busy() { op_.setBusy(false); }
    Operator& op_;
};

// Writes every group's descriptor as group parameter n. False when the operator gave up.
bool writeDescriptors(Workspace& ws, GroupList& groups, OnlineWorkOutcome& out)
{
    Busy busy(ws.op());
    const int type = ws.settings().channelType;
    for (int n = 0; n < groups.size();) {
        ws.op().setStatus(kWritingDescriptorStatus + std::to_string(n));
        ws.pump().processEvents();
        if (type != 0)
            ws.clock().sleepMs(100);
        // The whole area goes to the command: the descriptor's catalog format decides how many
        // bytes are sent (up to its closing 0xFF), and a full group of 64 entries has none.
        std::array<uint8_t, kDescrAreaSize> area{};
        groups.at(n).makeDescr(area);
        ExchangeResult r = 0;
        // CAN-BUS controllers take no descriptors: their groups are read value by value.
        const bool writes = type <= 10;
        if (writes)
            r = ws.commands().writeGroupDescriptor(*ws.port(), type, n, area);
        if (ws.debugMode())
            ws.op().setStatus(ws.debugLog().lastLine());
        if (r == 0) {
            out.descriptorsWritten += writes ? 1 : 0;
            ++n;
            continue;
        }
        if (!ws.op().askYesNo("Запись группового параметра " + std::to_string(n) + " :  " + exchangeMessage(r)
                              + " Повторить?"))
            return false;
        if (type == channel::Mux2 && ws.port())
            selectSwitchChannel(*ws.port(), ws.clock(), ws.settings().multNumb);
    }
    return true;
}

} // namespace

OnlineWorkOutcome runOnlineWork(Workspace& ws, GroupList& groups, const OnlineWorkHooks& hooks)
{
    OnlineWorkOutcome out;
    const auto call = [](const auto& f) { if (f) f(); };
    ChannelSettings& s = ws.settings();

    ws.debugLog().debugLog(channelTypeName(s.channelType) + " " + std::to_string(s.channelType));
    ws.modem().state().redialInProgress = false;
    if (ws.bitSignalCount() > 0) {
        call(hooks.readTelecontrolFile);
        call(hooks.sizeTelesignalView);
        out.telesignalsShown = true;
    }
    call(hooks.readReportFiles);

    if (!ws.online) {
        // "Тест" of the report blanks: the view without any exchange.
        groups.clear();
        if (hooks.showOnlineView)
            hooks.showOnlineView(0);
        out.viewShown = true;
    } else {
        loadGroups(groups, ws.groupFile(), ws.toleranceFile());
        const bool groupsExist = !groups.empty();
        if (ws.port() || ws.openPort()) {
            ws.exchange().state().attemptCount = ws.attemptSetting();
            out.connected = ws.connect();
            if (out.connected) {
                Busy busy(ws.op());
                ws.op().setStatus(kReadingVersionStatus);
                const ExchangeResult r = ws.versionRead();
                ws.op().setStatus(std::string(kReadingVersionStatus) + "  " + exchangeMessage(r));
            }
            const int type = s.channelType;
            if (out.connected && groupsExist && type <= 10) {
                ws.op().setStatus(kReadingStatusStatus);
                const ExchangeResult r = ws.commands().readStatus(*ws.port(), type, 0x18, 0);
                ws.op().setStatus("");
                if (r > 0) {
                    out.connected = false;
                    ws.op().message(MessageKind::Error, "Чтение статуса : " + exchangeMessage(r));
                } else if (r == kStatusDiffers) {
                    out.groupsDropped = true;
                    if (ws.op().askYesNo(runStateQuestion(ws.commands().stateName())) && hooks.runServiceRunPage
                        && hooks.runServiceRunPage())
                        out.groupsDropped = false;
                }
                if (out.groupsDropped)
                    groups.clear();
            }
            bool descriptorsDone = false;
            if (out.connected && groupsExist) {
                descriptorsDone = writeDescriptors(ws, groups, out);
                out.connected = descriptorsDone;
            }
            if (out.connected) {
                const int redial = (out.telesignalsShown || descriptorsDone) ? s.modemMin : 0;
                if (hooks.showOnlineView)
                    hooks.showOnlineView(redial);
                out.viewShown = true;
                call(hooks.showMainWindow);
                if (ws.port() && (s.channelType == channel::CanBus || s.channelType == channel::HayesCanBus))
                    ws.canLink().control(*ws.port(), s.channelType, 1);
                ws.saveAlarmFlag();
            }
        }
        // The stored bounds of dropped groups survive: the file is not rewritten then.
        if (!out.groupsDropped) {
            std::string error;
            if (!saveTolerances(groups, ws.toleranceFile(), &error))
                ws.op().message(MessageKind::Error, "Не удалось записать файл " + ws.toleranceFile() + ": " + error);
        }
        if (ws.port() && s.channelType < 6 && s.setNumber != 0) {
            Busy busy(ws.op());
            releaseAtEnd(ws.exchange(), *ws.port(), s.channelType);
        }
    }

    // The end of every online work: the modem link goes down and the port is closed.
    ws.hangUpModem();
    ws.closePort();
    ws.op().setStatus("");
    call(hooks.writeReportFileIfModified);
    return out;
}

} // namespace kv
