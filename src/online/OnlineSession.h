#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Workspace.h"
#include "channels/ModemDialogue.h"
#include "lists/GroupList.h"
#include "online/AlarmSound.h"
#include "online/FailureWatch.h"
#include "online/OnlineMenu.h"
#include "telecontrol/BitSignals.h"
#include "telecontrol/TelesignalWatch.h"

// Online work with one controller: what the online view ("Стандартный просмотр групповых
// параметров") decides and does on its one-second timer, without the window.
//
//  - group polling: per-group countdowns in tick units (0.864 s, the elapsed time of a tick
//    truncated, so a tick delayed by a long exchange accounts for several), one group read
//    per due group (on the CAN adapter line entry by entry), the values of the displayed
//    group into the parameter table, the group states and the parameters lamp;
//  - the failure watch (FailureWatch) and the telesignal watch (TelesignalWatch), each on its
//    own period, with their lamps and the alarm sound;
//  - the automatic redial of a Hayes modem line that has been silent for the redial minutes;
//  - the poll-allowed flag (no poll starts while a poll runs, or while a window that must
//    not share the line is open) and the redial-allowed flag (no redial while a window
//    opened from the menu is open);
//  - `clockCaption`, which dates printouts from the controller's clock.
//
// The session draws through `OnlineDisplay`, which the window implements (and tests record).
//
// ---- How the main window opens the view (the end of "Работа с ЗЕНТАР") ----
//
// Created once with the program, next to the workspace:
//
//     OnlineLinks links;
//     links.groups = &groups;                 // the group list the main window holds
//     links.signals = &bitSignalTable;        // the bit-signal descriptions
//     links.modem = &modemSession.state();    // connected and redial-in-progress flags
//     links.hangUp = [&] { if (modemSession.hangUp(*ws.port(), ct)) ws.closePort(); };
//     links.connect = [&] { return ws.connect(); };   // the modem window dials at once
//     links.exchangeBusy = [&] { return pumpDepth > 0; };   // see OnlineLinks
//     OnlineView view(ws, links, mainWindow);
//
// At step 9 of the online work, once the descriptors are written:
//
//     OnlineSetup setup;
//     setup.groupsEnabled = groupsKept && !groups.empty();
//     setup.redialMinutes = (telesignalsShown || descriptorsWritten) ? ws.settings().modemMin : 0;
//     view.run(setup);        // modal; the operator closes it
//     ws.saveAlarmFlag();     // the speaker switch is the configuration's "avarYes"
//
// The sound files and their flags are taken from the workspace (`settings().voice`,
// `soundOk`) at every opening; the model index, the failure texts, the debug mode and the
// online flag likewise.

namespace kv {

enum class Lamp { Parameters = 0, BlockFailures = 1, SensorFailures = 2, Signals = 3 };
inline constexpr int kLampCount = 4;

// Lamp captions and the texts under them.
inline constexpr std::array<const char*, kLampCount> kLampCaptions = {
    "Параметры", "Отказы блока", "Отказы датчиков", "Аварийные сигналы ТС"};
inline constexpr const char* kInToleranceText = "в допуске";
inline constexpr const char* kOutOfToleranceText = "вне допуска";
inline constexpr const char* kNoFailuresText = "отсутствуют";
inline constexpr const char* kFailuresPresentText = " ";
// The text under a lamp in a state (0 empty, 1, 2).
std::string lampText(Lamp lamp, int state);

inline constexpr const char* kGroupListHeader = "Группы параметров";
inline constexpr const char* kNameHeader = "Название параметра";
inline constexpr const char* kValueHeader = "Значение";
inline constexpr const char* kGroupReadText = "Чтение группы ";

inline constexpr int kTableRows = 64;        // data rows of the parameter table
inline constexpr int kRowLamps = 18;         // lamps of the row-lamp strip
inline constexpr int kGroupListRows = 8;     // header and seven groups

// The genitive month names of the printout's date.
extern const std::array<const char*, 12> kMonthsGenitive;

// What the window shows. Rows count as the window's grids do: row 0 is the header row,
// data rows are 1..64 (parameter table) and 1..7 (group list).
class OnlineDisplay {
public:
    virtual ~OnlineDisplay() = default;

    virtual void showStatus(const std::string& text) = 0;   // status panel 0
    // Status panel 1 and the menu item of the sound state; the speaker button.
    virtual void showSoundState(const std::string& panel, const std::string& menuItem, bool speakerVisible) = 0;
    // Debug mode: status panel 1 shows the last trace line of an exchange.
    virtual void showTrace(const std::string&) {}

    virtual void setLampVisible(Lamp lamp, bool visible) = 0;
    virtual void drawLamp(Lamp lamp, int state) = 0;   // with its text

    virtual void setGroupRow(int row, const std::string& text) = 0;
    virtual void selectGroupRow(int) {}

    virtual void setTableRows(int dataRows) = 0;
    virtual void setHeaderName(const std::string& text) = 0;
    virtual void setNameCell(int row, const std::string& text) = 0;
    virtual void setValueCell(int row, const std::string& text) = 0;
    virtual void setRowShaded(int row, bool outOfTolerance) = 0;
    virtual void selectFirstCell() {}
    virtual int topRow() const = 0;                 // first data row shown (1-based)
    virtual void scrollTo(int topRow) = 0;
    virtual int visibleRows() const = 0;            // data rows shown in full
    virtual void drawRowLamp(int position, int state) = 0;   // position 1..18 from the top

    virtual void applyMenu(const OnlineMenuFacts& facts) = 0;
    virtual void setTimer(bool running, int intervalMs) = 0;
    virtual void setBusy(bool busy) = 0;
    virtual void processEvents() {}
};

// What the online view needs besides the workspace.
struct OnlineLinks {
    GroupList* groups = nullptr;                 // the configuration's groups
    const BitSignalTable* signals = nullptr;     // the bit-signal descriptions
    ModemState* modem = nullptr;                 // the modem link's flags (redial)
    std::function<void()> hangUp;                // hang the modem up (the caller marks the link down)
    std::function<bool()> connect;               // the connect step; default: the workspace's
    // True while some exchange is on the line (a window's exchange letting messages through):
    // a tick then starts nothing, since the engine must never be entered twice.
    std::function<bool()> exchangeBusy;
};

// Set by the main window before each opening.
struct OnlineSetup {
    bool groupsEnabled = false;   // groups exist and their descriptors are in the controller
    int redialMinutes = 0;        // "ModemMin", or 0 when nothing is polled
};

// What the printout of the displayed group holds (the report table fills from it).
struct GroupPrintout {
    std::string title;                 // the group's name
    std::string subtitle;              // "За " + the controller's date
    std::vector<std::string> names;    // column "Параметр"
    std::vector<std::string> values;   // column "Значение"
};

class OnlineSession final : private TelesignalHost {
public:
    static constexpr int kTickMs = 1000;

    OnlineSession(Workspace& ws, const OnlineLinks& links, OnlineDisplay& display, AlarmSound* player = nullptr);
    ~OnlineSession() override;
    OnlineSession(const OnlineSession&) = delete;
    OnlineSession& operator=(const OnlineSession&) = delete;

    void setSetup(const OnlineSetup& setup) { setup_ = setup; }
    const OnlineSetup& setup() const { return setup_; }
    // The decimal separator of the user's locale ("%12.3f" values).
    void setDecimalSeparator(char c) { decimal_ = c; }

    // Window shown or activated. Initialises everything when the view was (re)opened; an
    // activation after a child window closed only allows the redial again.
    void activate();
    // Poll tick of the timer.
    void tick();
    // Polls every due group (from the timer: every polled group waits its period again;
    // otherwise the displayed group keeps its countdown).
    void pollGroups(bool fromTimer);
    // Reads the failure record and updates the failure lamps.
    void pollFailures();
    // Rewrites the displayed group's values (and names); true when all are in tolerance.
    bool showGroup(bool rewriteNames);
    // Row-lamp redraw of the visible rows: all when `full`, else the rows whose value crossed
    // a bound.
    void redrawRowLamps(bool full);
    // A double click on a group-list row (1..7): shows that group when the row holds one.
    void selectGroupRow(int row);
    // After the tolerance-violation window: everything is redrawn and the displayed group is
    // read at once.
    void pollDisplayedNow();
    // The parameter table was scrolled.
    void tableScrolled();
    // "Дополнительно" opened: the CAN-BUS lines take their control command 1.
    void extraMenuOpened();
    // Reads the controller's date and time and appends its text to `subtitle` (CAN-BUS lines:
    // replaces it with "dd.mm.yyyy hh:nn"). The date (the date-time over CAN-BUS), 0 when it
    // cannot be read or does not exist.
    double clockCaption(std::string& subtitle);
    // The printout of the displayed group; false (and the message) without groups.
    bool groupPrintout(GroupPrintout& out);
    // The view closes: timer off, tolerance file, release of an addressed controller.
    void close();

    // A window of `command` opens / has closed: the poll-allowed and redial-allowed flags.
    void childOpened(OnlineCommand command);
    void childClosed(OnlineCommand command);
    // The failure page a failure window opens at, for the menu item and for each lamp.
    int failurePageForMenu() { return failures_.menuPage(); }
    int failurePageForLamp(Lamp lamp) const;

    // Sound.
    AlarmSoundState& sound() { return sound_; }
    void toggleSound();

    // ---- state ----
    // Groups are polled: enabled by the main window and the list holds some.
    bool groupsOn() const;
    // One of the session's reads is running (it lets messages through): commands and
    // double clicks wait until it ends.
    bool exchanging() const;
    bool pollAllowed() const override { return pollAllowed_; }
    bool redialAllowed() const { return redialAllowed_; }
    bool initPending() const { return init_; }
    int displayedGroup() const { return displayed_; }
    int groupCount() const;
    int countdown(int group) const { return countdown_[std::size_t(group)]; }
    bool received(int group) const { return received_[std::size_t(group)] != 0; }
    int groupState(int group) const { return groupState_[std::size_t(group)]; }
    int lamp(Lamp l) const { return lamps_[std::size_t(l)]; }
    bool lampVisible(Lamp l) const { return lampVisible_[std::size_t(l)]; }
    bool rowInTolerance(int row) const { return rowInTol_[std::size_t(row)]; }
    int rowLamp(int row) const { return rowLamp_[std::size_t(row)]; }
    const std::string& nameCell(int row) const { return names_[std::size_t(row)]; }
    const std::string& valueCell(int row) const { return values_[std::size_t(row)]; }
    double redialDeadline() const { return deadline_; }
    int timerIntervalMs() const { return timerMs_; }
    bool timerRunning() const { return timerOn_; }
    const std::string& status() const { return status_; }
    const OnlineMenuFacts& menuFacts() const { return facts_; }
    // How the view formats values (the violation list shows them the same way).
    ValueStyle valueStyle() const { return style(); }

    FailureWatch& failures() { return failures_; }
    TelesignalWatch& signals() { return signals_; }
    const BitSignalTable& signalTable() const { return *signalTable_; }

private:
    // TelesignalHost
    SerialPort* port() override;
    int channelType() const override;
    int switchChannel() const override;
    void setPollAllowed(bool allowed) override { pollAllowed_ = allowed; }
    void showStatus(const std::string& text) override;
    void setBusy(bool busy) override { display_.setBusy(busy); }
    void renewRedialDeadline() override;
    void processEvents() override { display_.processEvents(); }
    void debugMark(const std::string& mark) override;
    void drawSignalLamp(int state) override;
    bool soundOn() const override { return sound_.on(); }
    void playSound(int file) override { sound_.play(file); }

    GroupList& groups() { return *links_.groups; }
    ValueStyle style() const;
    bool legacy() const { return channelType() <= 10; }
    bool debug() const { return ws_.debugMode(); }
    ExchangeResult readGroup(int i, ParamGroup& g);
    ExchangeResult readGroupCan(ParamGroup& g, ParamGroup::Buffer& into);
    void drawLamp(Lamp l, int state);
    void setName(int row, const std::string& text);
    void setValue(int row, const std::string& text);
    void applyRowShades();
    void redial();
    void debugRows();
    void setTimer(bool running, int intervalMs);

    Workspace& ws_;
    OnlineLinks links_;
    OnlineDisplay& display_;
    GroupList emptyGroups_;
    BitSignalTable emptySignals_;
    const BitSignalTable* signalTable_;
    ModemState ownModem_;
    OnlineSetup setup_;
    char decimal_ = '.';

    AlarmSoundState sound_;
    FailureWatch failures_;
    TelesignalWatch signals_;

    std::array<int32_t, kMaxGroups> countdown_{};
    std::array<uint8_t, kMaxGroups> received_{};
    std::array<uint8_t, kMaxGroups> groupState_{};
    int displayed_ = -1;
    int lastGroup_ = -1;
    double stamp_ = 0;
    double deadline_ = 0;
    bool pollAllowed_ = true;
    bool redialAllowed_ = true;
    bool init_ = true;
    bool redrawAll_ = false;
    bool inTick_ = false;
    int activity_ = 0;
    std::array<int, kLampCount> lamps_{};
    std::array<bool, kLampCount> lampVisible_{};
    std::array<bool, kTableRows + 1> rowInTol_{};
    std::array<bool, kTableRows + 1> shownShade_{};   // what the display was last told
    std::array<uint8_t, kTableRows + 1> rowTolChange_{};
    std::array<uint8_t, kTableRows + 1> rowLamp_{};
    std::array<std::string, kTableRows + 1> names_{};
    std::array<std::string, kTableRows + 1> values_{};
    OnlineMenuFacts facts_;
    int timerMs_ = kTickMs;
    bool timerOn_ = false;
    std::string status_;
};

} // namespace kv
