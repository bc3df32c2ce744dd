#pragma once
// kvarnik-cli on a copy of the demo folder, with the simulated controller on the configured
// line and virtual time (2026-12-11 10:30).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DemoFolder.h"
#include "LineKinds.h"
#include "ScriptedOperator.h"
#include "app/CommandLine.h"
#include "app/Workspace.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"

namespace kv::test {

class CliFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        dir_ = fs::temp_directory_path()
             / ("kv_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name())
                + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        test::copyDemoFolder(dir_);
        ws_ = std::make_unique<Workspace>(dir_.string(), clock_, pump_, op_);
        ws_->activate();
        bindController();
    }
    void TearDown() override
    {
        ws_.reset();
        std::filesystem::remove_all(dir_);
        for (const auto& p : op_.problems())
            ADD_FAILURE() << p;
    }

    // A simulated controller that follows the settings in use, on the configured port.
    void bindController()
    {
        const auto& s = ws_->settings();
        sim_ = std::make_unique<sim::SimPortOpener>(
            sim::stationOptionsFromSettings(s.blok1, s.setNumber, s.prot, s.crc, s.channel, s.channelType,
                                            s.multNumb, (dir_ / "Sprav.txt").string()),
            &clock_);
        ws_->setPortOpener(sim_.get());
    }

    // The same controller behind another kind of line in the protocol in use.
    void useLine(int channelType)
    {
        useLineKind(ws_->settings(), ws_->settings().prot, channelType);
        bindController();
    }

    // Runs the tool with `args` (without the program name); its output in out_ and err_.
    int run(std::vector<std::string> args)
    {
        out_.str("");
        err_.str("");
        CliOptions opts;
        std::string error;
        if (!parseCliOptions(args, opts, error))
            return kCliUsage;
        return runCli(*ws_, opts, out_, err_);
    }

    std::filesystem::path dir_;
    sim::VirtualClock clock_{text::encodeDate(2026, 12, 11) + text::encodeTime(10, 30, 0)};
    NullEventPump pump_;
    ScriptedOperator op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    std::ostringstream out_, err_;
};

} // namespace kv::test
