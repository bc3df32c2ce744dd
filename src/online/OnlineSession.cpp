#include "online/OnlineSession.h"

#include <algorithm>
#include <cstdio>

#include "protocol/LineControl.h"
#include "text/DateTime.h"

namespace kv {

const std::array<const char*, 12> kMonthsGenitive = {
    "января", "февраля", "марта", "апреля", "мая", "июня",
    "июля", "августа", "сентября", "октября", "ноября", "декабря"};

namespace {

constexpr int kRetryTickMs = 30000;
constexpr int kReplyCapacity = 199;          // what one group reply may hold
constexpr ExchangeResult kNoPort = 8;        // the port is gone: nothing can be sent
constexpr ExchangeResult kReplyTooLong = 15; // a damaged group file: the reply cannot fit
constexpr uint8_t kCanGroupControl = 2;
constexpr uint8_t kCanMenuControl = 1;

bool isCan(int ct) { return ct == channel::CanBus || ct == channel::HayesCanBus; }

std::string twoDigits(int v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// Counts the session's own exchanges, so that a tick arriving while one of them lets messages
// through starts nothing.
class Activity {
public:
    explicit Activity(int& depth) : depth_(depth) { ++depth_; }
    ~Activity() { --depth_; }
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;

private:
    int& depth_;
};

} // namespace

std::string lampText(Lamp lamp, int state)
{
    if (state == kLampNormal)
        return lamp == Lamp::Parameters ? kInToleranceText : kNoFailuresText;
    if (state == kLampAlarm)
        return lamp == Lamp::Parameters ? kOutOfToleranceText : kFailuresPresentText;
    return {};
}

OnlineSession::OnlineSession(Workspace& ws, const OnlineLinks& links, OnlineDisplay& display, AlarmSound* player)
    : ws_(ws),
      links_(links),
      display_(display),
      signalTable_(links.signals ? links.signals : &emptySignals_),
      sound_(ws.settings().avarYes),
      signals_(ws.commands(), ws.clock(), *signalTable_)
{
    if (!links_.groups)
        links_.groups = &emptyGroups_;
    if (!links_.modem)
        links_.modem = &ownModem_;
    sound_.setPlayer(player);
    rowInTol_.fill(true);
    groupState_.fill(1);
}

OnlineSession::~OnlineSession() = default;

// The groups of this online work: those the list held at activation (a window may add a
// temporary group of its own meanwhile, which is no group of the controller).
int OnlineSession::groupCount() const { return std::min(lastGroup_ + 1, links_.groups->size()); }

SerialPort* OnlineSession::port() { return ws_.port(); }
int OnlineSession::channelType() const { return ws_.settings().channelType; }
int OnlineSession::switchChannel() const { return ws_.settings().multNumb; }

ValueStyle OnlineSession::style() const
{
    ValueStyle s;
    s.legacy = legacy();
    s.decimal = decimal_;
    s.trace = &ws_.debugLog();
    return s;
}

bool OnlineSession::groupsOn() const { return setup_.groupsEnabled && !links_.groups->empty(); }

bool OnlineSession::exchanging() const { return inTick_ || activity_ > 0; }

// ---- activation --------------------------------------------------------------------------

void OnlineSession::activate()
{
    redialAllowed_ = true;
    if (!init_)
        return;
    deadline_ = ws_.clock().now() + setup_.redialMinutes / 1440.0;
    init_ = false;
    pollAllowed_ = true;

    // The alarm monitoring starts afresh.
    sound_.setFiles(ws_.settings().voice, ws_.soundOk);
    display_.showSoundState(sound_.stateText(), sound_.menuText(), sound_.on());
    failures_.start(ws_.settings().timotk);
    signals_.start(ws_.settings().timTc);
    facts_.channelType = channelType();
    facts_.protocol = ws_.settings().prot;
    facts_.configuredModel = ws_.settings().blok1;
    facts_.modelIndex = ws_.modelIndex;
    facts_.bitSignals = signals_.shown();
    facts_.failureTexts = !ws_.failureTexts().empty();

    const bool on = groupsOn();
    lampVisible_ = {on, failures_.enabled(), failures_.enabled(), signals_.shown()};
    for (int l = 0; l < kLampCount; ++l) {
        display_.setLampVisible(Lamp(l), lampVisible_[std::size_t(l)]);
        drawLamp(Lamp(l), 0);
    }

    groupState_.fill(1);
    rowLamp_.fill(0);
    rowTolChange_.fill(0);
    for (int k = 1; k <= kRowLamps; ++k)
        display_.drawRowLamp(k, 0);
    display_.scrollTo(1);
    rowInTol_.fill(true);
    applyRowShades();

    display_.applyMenu(facts_);

    display_.selectGroupRow(1);
    display_.selectFirstCell();
    displayed_ = -1;
    display_.setHeaderName("");
    showStatus("");

    lastGroup_ = on ? links_.groups->size() - 1 : -1;
    const int n = groupCount();
    if (on) {
        int largest = 0;
        for (int i = 0; i < n; ++i) {
            display_.setGroupRow(i + 1, groups().at(i).name());
            largest = std::max(largest, groups().at(i).count());
        }
        countdown_.fill(0);
        received_.fill(0);
        display_.setTableRows(largest);
        displayed_ = 0;
        redrawAll_ = true;
        showGroup(true);
    } else {
        for (int r = 1; r <= kTableRows; ++r) {
            setName(r, "");
            setValue(r, "");
        }
    }
    for (int r = on ? n + 1 : 1; r < kGroupListRows; ++r)
        display_.setGroupRow(r, "");

    stamp_ = ws_.clock().now();
    setTimer(true, kTickMs);
}

// ---- the tick ----------------------------------------------------------------------------

void OnlineSession::tick()
{
    if (!ws_.online)
        return;
    // A tick that comes while an exchange lets messages through waits for the next one; its
    // time is not lost, since the next tick accounts for every unit since the last.
    if (exchanging() || (links_.exchangeBusy && links_.exchangeBusy()))
        return;
    inTick_ = true;
    const double now = ws_.clock().now();
    const auto units = int(std::clamp<int64_t>(text::waitUnits(stamp_, now), INT32_MIN / 2, INT32_MAX / 2));
    if (units > 0) {
        stamp_ = now;
        if (groupsOn()) {
            for (int i = 0; i < groupCount(); ++i)
                if (countdown_[std::size_t(i)] > 0)
                    countdown_[std::size_t(i)] -= units;
            if (pollAllowed_)
                pollGroups(true);
        }
        if (failures_.countDown(units) && pollAllowed_)
            pollFailures();
        signals_.tickStep(units, *this);
    }
    if (debug() && setup_.redialMinutes > 0) {
        display_.setGroupRow(3, pollAllowed_ ? "T" : "F");
        display_.setGroupRow(5, text::formatDateTime("hh:nn:ss", ws_.clock().now()));
        display_.setGroupRow(6, text::formatDateTime("hh:nn:ss", deadline_));
    }
    if (setup_.redialMinutes > 0 && ws_.clock().now() > deadline_ && channelType() == channel::Hayes &&
        redialAllowed_ && !init_)
        redial();
    inTick_ = false;
}

void OnlineSession::redial()
{
    Activity a(activity_);
    setTimer(false, timerMs_);
    ModemState& modem = *links_.modem;
    modem.redialInProgress = true;
    if (ws_.settings().prot == 0 && channelType() <= 10 && port())
        ws_.commands().release(*port(), channelType());
    if (modem.connected) {
        if (links_.hangUp)
            links_.hangUp();
        modem.connected = false;
    }
    const bool ok = links_.connect ? links_.connect() : ws_.connect();
    if (ok) {
        renewRedialDeadline();
        setTimer(true, kTickMs);
    } else {
        // The deadline stays past: the next tick, 30 s on, tries again.
        setTimer(true, kRetryTickMs);
    }
}

// ---- group polling -----------------------------------------------------------------------

ExchangeResult OnlineSession::readGroup(int i, ParamGroup& g)
{
    SerialPort* p = port();
    if (!p)
        return kNoPort;
    const int len = g.replyLength();
    if (len < 0 || len > kReplyCapacity)
        return kReplyTooLong;
    // The reply goes to a scratch copy first: a failed read never leaves part of a reply on
    // the screen.
    ParamGroup::Buffer scratch = g.reply();
    ExchangeResult r;
    if (channelType() == channel::CanBus)
        r = readGroupCan(g, scratch);
    else
        r = ws_.commands().readGroupDescriptor(*p, channelType(), i,
                                               std::span<uint8_t>(scratch.data(), std::size_t(len)));
    if (r == 0)
        g.reply() = scratch;
    return r;
}

ExchangeResult OnlineSession::readGroupCan(ParamGroup& g, ParamGroup::Buffer& into)
{
    SerialPort& p = *port();
    CanLink& can = ws_.canLink();
    can.control(p, channel::CanBus, kCanGroupControl);
    std::size_t offset = 0;
    for (int e = 0; e < g.count(); ++e) {
        const ParamCode3 code = g.getCode(e);
        const auto address = uint16_t(uint8_t(code[0] + code[2]) << 8 | code[1]);
        const auto len = std::size_t(g.paramLen(e));
        if (offset + len > into.size())
            return kReplyTooLong;
        if (const ExchangeResult r = can.read(p, channel::CanBus, address, std::span<uint8_t>(into.data() + offset, len));
            r > 0)
            return r;
        offset += len;
    }
    return 0;
}

void OnlineSession::pollGroups(bool fromTimer)
{
    Activity a(activity_);
    pollAllowed_ = false;
    debugMark("F+ MyId");
    bool polled = false;
    for (int i = 0; i < groupCount(); ++i) {
        if (init_)
            break;   // the view was closed while a read let messages through
        if (countdown_[std::size_t(i)] > 0)
            continue;
        polled = true;
        ParamGroup& g = groups().at(i);
        display_.setBusy(true);
        showStatus(kGroupReadText + g.name());
        display_.processEvents();
        if (channelType() == channel::Mux2 && port())
            selectSwitchChannel(*port(), ws_.clock(), ws_.settings().multNumb);
        g.savePrev();
        const ExchangeResult r = readGroup(i, g);
        showStatus(kGroupReadText + g.name() + "  " + exchangeMessage(r));
        if (debug())
            display_.showTrace(ws_.debugLog().lastLine());
        display_.setBusy(false);
        if (r == 0) {
            renewRedialDeadline();
            // Every group that was read compares its reply with the previous one, so that the
            // crossings its rows show are never those of an older reply.
            g.tolChanged(style());
            received_[std::size_t(i)] = 1;
            if (i == displayed_) {
                groupState_[std::size_t(i)] = showGroup(false) ? 1 : 0;
            } else {
                // A group out of sight can only fall out of tolerance; it is judged afresh
                // while it is displayed.
                for (int e = 0; e < g.count(); ++e) {
                    g.valueStr(e, style());
                    if (groupState_[std::size_t(i)] == 1)
                        groupState_[std::size_t(i)] = g.inTol() ? 1 : 0;
                }
            }
        }
        if (fromTimer || i != displayed_)
            countdown_[std::size_t(i)] = g.period();
    }
    if (polled) {
        int state = kLampNormal;
        for (int i = 0; i < groupCount(); ++i)
            if (groupState_[std::size_t(i)] == 0)
                state = kLampAlarm;
        drawLamp(Lamp::Parameters, state);
        if (state == kLampAlarm && sound_.on())
            sound_.play(1);
    }
    debugMark("T+ MyId");
    pollAllowed_ = true;
}

bool OnlineSession::showGroup(bool rewriteNames)
{
    if (displayed_ < 0 || displayed_ >= groupCount())
        return true;
    ParamGroup& g = groups().at(displayed_);
    rowInTol_.fill(true);
    bool allIn = true;
    display_.setHeaderName(g.name());
    const int count = std::min(g.count(), kTableRows);
    if (rewriteNames) {
        for (int e = 0; e < count; ++e) {
            names_[std::size_t(e + 1)] = g.getName(e);
            display_.setNameCell(e + 1, names_[std::size_t(e + 1)]);
        }
        for (int r = count + 1; r <= kTableRows && !names_[std::size_t(r)].empty(); ++r) {
            setName(r, "");
            setValue(r, "");
        }
        if (count - 14 < display_.topRow())
            display_.scrollTo(count > 14 ? count - 14 : 1);
    }
    const bool got = received_[std::size_t(displayed_)] != 0;
    for (int e = 0; e < count; ++e) {
        const auto row = std::size_t(e + 1);
        std::string text;
        if (got) {
            text = g.valueStr(e, style());
            const bool in = g.inTol();
            rowInTol_[row] = in;
            if (allIn)
                allIn = in;
            rowTolChange_[row] = g.entry(e)->tolChanged ? 1 : 0;
            if (rowTolChange_[row] || redrawAll_) {
                names_[row] = g.getName(e);
                display_.setNameCell(int(row), names_[row]);
            }
            rowLamp_[row] = uint8_t(in ? kLampNormal : kLampAlarm);
        }
        setValue(int(row), text);
    }
    applyRowShades();
    // Rows that crossed a bound are redrawn even when everything is back in tolerance, so that
    // no red lamp outlives its value.
    redrawRowLamps(!allIn || redrawAll_);
    if (got)
        redrawAll_ = false;
    display_.processEvents();
    return allIn;
}

void OnlineSession::redrawRowLamps(bool full)
{
    if (!groupsOn())
        return;
    const int count = (displayed_ >= 0 && displayed_ < groupCount()) ? groups().at(displayed_).count() : 0;
    const int top = std::max(1, display_.topRow());
    const int positions = std::min(display_.visibleRows() + 1, kRowLamps);
    for (int k = 1; k <= positions; ++k) {
        const int r = top + k - 1;
        const bool inTable = r >= 1 && r <= kTableRows;
        if (!full && !(inTable && rowTolChange_[std::size_t(r)]))
            continue;
        const int state = (!inTable || r > count) ? 0 : rowLamp_[std::size_t(r)];
        display_.drawRowLamp(k, state);
    }
}

void OnlineSession::selectGroupRow(int row)
{
    if (!groupsOn() || row < 1 || row > groupCount())
        return;
    displayed_ = row - 1;
    redrawAll_ = true;
    showGroup(true);
}

void OnlineSession::pollDisplayedNow()
{
    redrawAll_ = true;
    if (!groupsOn() || displayed_ < 0 || displayed_ >= groupCount() || !pollAllowed_ || exchanging()) {
        showGroup(true);
        return;
    }
    const auto d = std::size_t(displayed_);
    const int saved = countdown_[d];
    countdown_[d] = 0;
    pollGroups(false);
    countdown_[d] = saved;
}

void OnlineSession::tableScrolled()
{
    redrawRowLamps(true);
}

// ---- the failure watch and the telesignal host -------------------------------------------

void OnlineSession::pollFailures()
{
    Activity a(activity_);
    pollAllowed_ = false;
    debugMark("F+ MyOtk");
    failures_.pollStarted();
    FailureWatch::Record record{};
    if (SerialPort* p = port(); p && FailureWatch::read(ws_.commands(), *p, channelType(), record) == 0) {
        renewRedialDeadline();
        display_.processEvents();
        const bool sound = failures_.evaluate(record);
        drawLamp(Lamp::BlockFailures, failures_.blockLamp());
        drawLamp(Lamp::SensorFailures, failures_.sensorLamp());
        if (sound && sound_.on())
            sound_.play(2);
    }
    pollAllowed_ = true;
    debugMark("T+ MyOtk");
}

int OnlineSession::failurePageForLamp(Lamp lamp) const
{
    if (lamp == Lamp::SensorFailures)
        return kSensorFailurePage;
    return failures_.blockPage();
}

void OnlineSession::showStatus(const std::string& text)
{
    status_ = text;
    display_.showStatus(text);
}

void OnlineSession::renewRedialDeadline()
{
    deadline_ = ws_.clock().now() + setup_.redialMinutes / 1440.0;
}

void OnlineSession::debugMark(const std::string& mark)
{
    if (debug())
        display_.setGroupRow(4, mark);
}

void OnlineSession::drawSignalLamp(int state)
{
    drawLamp(Lamp::Signals, state);
}

void OnlineSession::drawLamp(Lamp l, int state)
{
    lamps_[std::size_t(l)] = state;
    display_.drawLamp(l, state);
}

// ---- cells -------------------------------------------------------------------------------

void OnlineSession::setName(int row, const std::string& text)
{
    names_[std::size_t(row)] = text;
    display_.setNameCell(row, text);
}

void OnlineSession::setValue(int row, const std::string& text)
{
    values_[std::size_t(row)] = text;
    display_.setValueCell(row, text);
}

void OnlineSession::applyRowShades()
{
    for (int r = 1; r <= kTableRows; ++r) {
        const bool shade = !rowInTol_[std::size_t(r)];
        if (shade != shownShade_[std::size_t(r)]) {
            shownShade_[std::size_t(r)] = shade;
            display_.setRowShaded(r, shade);
        }
    }
}

void OnlineSession::setTimer(bool running, int intervalMs)
{
    timerOn_ = running;
    timerMs_ = intervalMs;
    display_.setTimer(running, intervalMs);
}

// ---- commands ----------------------------------------------------------------------------

void OnlineSession::extraMenuOpened()
{
    const int ct = channelType();
    if (!isCan(ct) || !port())
        return;
    Activity a(activity_);
    ws_.canLink().control(*port(), ct, kCanMenuControl);
}

double OnlineSession::clockCaption(std::string& subtitle)
{
    Activity a(activity_);
    SerialPort* p = port();
    if (!p)
        return 0;
    const int ct = channelType();
    if (isCan(ct)) {
        double dt = 0;
        const ExchangeResult r = ws_.archives().readCanClock(
            *p, ct, ct == channel::CanBus ? CanClockForm::Frames : CanClockForm::Gateway, true, dt);
        if (r != 0)
            return 0;
        subtitle = text::formatDateTime("dd.mm.yyyy hh:nn", dt);
        return dt;
    }
    display_.setBusy(true);
    if (ct == channel::Mux2)
        selectSwitchChannel(*p, ws_.clock(), ws_.settings().multNumb);
    Commands& cmd = ws_.commands();
    int day = 0, month = 0, year = 0;
    bool haveDate = false, haveYear = false;
    std::array<uint8_t, 2> b{};
    if (cmd.readAddress(*p, ct, 0x4016, b) == 0) {
        day = b[0];
        month = b[1];
        haveDate = true;
        subtitle += std::to_string(day) + "  " + (month >= 1 && month <= 12 ? kMonthsGenitive[std::size_t(month - 1)] : "");
        if (cmd.readAddress(*p, ct, 0x4017, b) == 0) {
            year = b[0] * 100 + b[1];
            haveYear = true;
            subtitle += "  " + twoDigits(b[0]) + twoDigits(b[1]) + "  года";
            if (cmd.readAddress(*p, ct, 0x4015, b) == 0) {
                subtitle += "   время :" + twoDigits(b[0]) + ":" + twoDigits(b[1]) + "  ";
                renewRedialDeadline();
            }
        }
    }
    display_.setBusy(false);
    if (!haveDate || !haveYear || !text::isValidDate(year, month, day))
        return 0;
    return text::encodeDate(year, month, day);
}

bool OnlineSession::groupPrintout(GroupPrintout& out)
{
    out = {};
    if (!groupsOn() || displayed_ < 0 || displayed_ >= groupCount()) {
        ws_.op().message(MessageKind::Information, kNoGroupsPrintMessage);
        return false;
    }
    ParamGroup& g = groups().at(displayed_);
    out.title = g.name();
    out.subtitle = "За ";
    clockCaption(out.subtitle);
    for (int e = 0; e < g.count(); ++e) {
        out.names.push_back(g.getName(e));
        out.values.push_back(g.valueStr(e, style()));
    }
    return true;
}

void OnlineSession::close()
{
    Activity a(activity_);
    setTimer(false, timerMs_);
    // Without groups the list in memory is empty (or was dropped for this online work):
    // rewriting the file would throw the stored bounds away.
    if (groupsOn()) {
        std::string error;
        if (!saveTolerances(groups(), ws_.toleranceFile(), &error))
            ws_.op().message(MessageKind::Error, error);
    }
    const auto& s = ws_.settings();
    if (s.channelType <= channel::IsmSwitched && s.setNumber != 0 && port()) {
        display_.setBusy(true);
        ScopedAttemptCount once(ws_.exchange(), 1);
        if (s.prot == 0)
            ws_.commands().release(*port(), s.channelType);
        display_.setBusy(false);
    }
    init_ = true;
}

void OnlineSession::childOpened(OnlineCommand command)
{
    if (suspendsPolls(command, channelType()))
        pollAllowed_ = false;
    if (suspendsRedial(command))
        redialAllowed_ = false;
}

void OnlineSession::childClosed(OnlineCommand command)
{
    if (suspendsPolls(command, channelType()))
        pollAllowed_ = true;
    redialAllowed_ = true;
    if (command == OnlineCommand::ResetFailures && failures_.enabled() && pollAllowed_ && !exchanging())
        pollFailures();
}

void OnlineSession::toggleSound()
{
    sound_.toggle();
    display_.showSoundState(sound_.stateText(), sound_.menuText(), sound_.on());
}

} // namespace kv
