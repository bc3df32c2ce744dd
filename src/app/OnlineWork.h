#pragma once
#include <functional>
#include <string>

// "Работа с ЗЕНТАР": the start and the end of online work around the online view — connect,
// version, the RUN question, the group descriptors written into the controller, the view,
// and afterwards the tolerance file, the release command, the hang-up and the port closed.
// The windows it opens are hooks, so the whole sequence runs in tests against the simulated
// controller with scripted answers.

namespace kv {

class Workspace;
class GroupList;

struct OnlineWorkHooks {
    std::function<void()> readTelecontrolFile;      // when bit signals are described
    std::function<void()> sizeTelesignalView;       // 4 columns, rows for the described signals
    std::function<void()> readReportFiles;          // report blanks and titles
    // The service window on its RUN page; true when it saw the controller reach "РАБОТА".
    std::function<bool()> runServiceRunPage;
    // The online view, modal, with the groups and the redial period in minutes.
    std::function<void(int redialMinutes)> showOnlineView;
    std::function<void()> showMainWindow;
    std::function<void()> writeReportFileIfModified;
};

struct OnlineWorkOutcome {
    bool connected = false;
    bool groupsDropped = false;       // RUN refused or not confirmed: tolerance file kept as it was
    int descriptorsWritten = 0;
    bool viewShown = false;
    bool telesignalsShown = false;
};

constexpr const char* kReadingVersionStatus = "Чтение версии программы ЗЕНТАР";
constexpr const char* kReadingStatusStatus = "Чтение статуса ЗЕНТАР";
constexpr const char* kWritingDescriptorStatus = "Запись описателя группового параметра ";

// The text of the RUN question for a controller in state `stateName`.
std::string runStateQuestion(const std::string& stateName);

OnlineWorkOutcome runOnlineWork(Workspace& ws, GroupList& groups, const OnlineWorkHooks& hooks);

} // namespace kv
