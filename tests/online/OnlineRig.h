#pragma once
// The online session on a copy of the demo folder, against the simulated controller in
// virtual time, with a display that records what the window would show.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "lists/GroupList.h"
#include "online/OnlineSession.h"
#include "sim/Scenario.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"

namespace kv::test {

class RecordingDisplay final : public OnlineDisplay {
public:
    void showStatus(const std::string& text) override { statuses.push_back(text); }
    void showSoundState(const std::string& panel, const std::string& item, bool speaker) override
    {
        soundPanel = panel;
        soundItem = item;
        speakerVisible = speaker;
    }
    void setLampVisible(Lamp l, bool v) override { lampVisible[int(l)] = v; }
    void drawLamp(Lamp l, int s) override
    {
        lamps[int(l)] = s;
        ++lampDraws[int(l)];
    }
    void setGroupRow(int row, const std::string& t) override { groupRows[row] = t; }
    void setTableRows(int n) override { tableRows = n; }
    void setHeaderName(const std::string& t) override { header = t; }
    void setNameCell(int row, const std::string& t) override
    {
        names[row] = t;
        ++nameWrites;
    }
    void setValueCell(int row, const std::string& t) override
    {
        values[row] = t;
        ++valueWrites;
    }
    void setRowShaded(int row, bool s) override { shaded[row] = s; }
    int topRow() const override { return top; }
    void scrollTo(int t) override { top = t; }
    int visibleRows() const override { return 18; }
    void drawRowLamp(int k, int s) override
    {
        rowLamps[k] = s;
        ++rowLampDraws;
    }
    void applyMenu(const OnlineMenuFacts& f) override { facts = f; }
    void setTimer(bool running, int ms) override
    {
        timerRunning = running;
        timerMs = ms;
    }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }

    // How often a group was read since the last clear (completed reads, whatever the result).
    int reads(const std::string& group) const
    {
        int n = 0;
        for (const auto& s : statuses)
            if (s.rfind(kGroupReadText + group + "  ", 0) == 0)
                ++n;
        return n;
    }

    std::vector<std::string> statuses;
    std::string soundPanel, soundItem;
    bool speakerVisible = false;
    std::map<int, bool> lampVisible;
    std::map<int, int> lamps, lampDraws;
    std::map<int, std::string> groupRows, names, values;
    std::map<int, bool> shaded;
    std::map<int, int> rowLamps;
    int nameWrites = 0, valueWrites = 0, rowLampDraws = 0;
    int tableRows = -1;
    std::string header;
    int top = 1;
    OnlineMenuFacts facts;
    bool timerRunning = false;
    int timerMs = 0;
    int busyDepth = 0;
};

class RecordingSound final : public AlarmSound {
public:
    void playFile(const std::string& p) override { files.push_back(p); }
    void beep() override { ++beeps; }
    void stop() override { ++stops; }
    std::vector<std::string> files;
    int beeps = 0, stops = 0;
};

struct EntrySpec {
    uint8_t cls, number, index, format;
    std::string name;
    double lower = 0, upper = 0;
};

class OnlineRig : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        dir_ = fs::temp_directory_path()
             / ("kv_online_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        test::copyDemoFolder(dir_);
        ws_ = std::make_unique<Workspace>(dir_.string(), clock_, pump_, op_);
        ws_->activate();
        // Each test switches on the watches it looks at.
        ws_->settings().timotk = 0;
        ws_->settings().timTc = 0;
        ws_->settings().avarYes = false;
    }
    void TearDown() override
    {
        session_.reset();
        ws_.reset();
        std::filesystem::remove_all(dir_);
        for (const auto& p : op_.problems())
            ADD_FAILURE() << p;
    }

    // The simulated controller on the configured line, port open and connected.
    void connect()
    {
        const auto& s = ws_->settings();
        sim_ = std::make_unique<sim::SimPortOpener>(
            sim::stationOptionsFromSettings(ws_->modelIndex, s.setNumber, s.prot, s.crc, s.channel, s.channelType,
                                            s.multNumb, (dir_ / "Sprav.txt").string()),
            &clock_);
        ws_->setPortOpener(sim_.get());
        ASSERT_TRUE(ws_->openPort());
        ASSERT_TRUE(ws_->connect());
    }
    sim::Controller& ctl() { return sim_->station().controller(); }

    ParamGroup& addGroup(const std::string& name, int period, const std::vector<EntrySpec>& entries)
    {
        auto g = std::make_unique<ParamGroup>();
        g->setGroup(name, period);
        for (const auto& e : entries) {
            g->addParam(ParamCode4{e.cls, e.number, e.index, e.format}, -1, e.name);
            g->setBound(g->count() - 1, 0, e.lower);
            g->setBound(g->count() - 1, 1, e.upper);
        }
        return *groups_.append(std::move(g));
    }
    // What the main window does before opening the view: every descriptor into the controller.
    void writeDescriptors()
    {
        for (int i = 0; i < groups_.size(); ++i) {
            std::array<uint8_t, kDescrAreaSize> area{};
            const std::size_t n = groups_.at(i).makeDescr(area);
            ASSERT_EQ(ws_->commands().writeGroupDescriptor(*ws_->port(), ws_->settings().channelType, i,
                                                           std::span<const uint8_t>(area.data(), n)),
                      0);
        }
        groups_.resetPrevValid();
    }
    void open(bool groupsEnabled = true, int redialMinutes = 0)
    {
        OnlineLinks links;
        links.groups = &groups_;
        links.signals = &signals_;
        links.modem = &modem_;
        links.hangUp = [this] { ++hangUps_; };
        if (connectScript_)
            links.connect = [this] { return connectScript_(); };
        session_ = std::make_unique<OnlineSession>(*ws_, links, display_, &sound_);
        session_->setSetup({groupsEnabled, redialMinutes});
        session_->activate();
        nextTickUs_ = clock_.nowUs() + int64_t(session_->timerIntervalMs()) * 1000;
    }
    // The one-second timer as Qt runs it: a tick every interval from the last one; a tick
    // that comes late (a long exchange) is followed by the next one an interval later.
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i) {
            clock_.waitUntilUs(nextTickUs_);
            lastTickUs_ = clock_.nowUs();
            session_->tick();
            nextTickUs_ += int64_t(session_->timerIntervalMs()) * 1000;
            if (nextTickUs_ <= clock_.nowUs())
                nextTickUs_ = clock_.nowUs() + int64_t(session_->timerIntervalMs()) * 1000;
        }
    }
    // A tick `ms` after the previous one (held up by something long in between).
    void tickAfterMs(int64_t ms)
    {
        clock_.waitUntilUs(lastTickUs_ + ms * 1000);
        lastTickUs_ = clock_.nowUs();
        session_->tick();
        nextTickUs_ = clock_.nowUs() + int64_t(session_->timerIntervalMs()) * 1000;
    }

    std::filesystem::path dir_;
    sim::VirtualClock clock_{text::encodeDate(2026, 12, 11) + 10.5 / 24};
    NullEventPump pump_;
    ScriptedOperator op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    GroupList groups_;
    BitSignalTable signals_;
    ModemState modem_;
    RecordingDisplay display_;
    RecordingSound sound_;
    std::unique_ptr<OnlineSession> session_;
    int64_t nextTickUs_ = 0;
    int64_t lastTickUs_ = 0;
    int hangUps_ = 0;
    std::function<bool()> connectScript_;
};

} // namespace kv::test
