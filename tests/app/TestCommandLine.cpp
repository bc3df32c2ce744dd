#include <gtest/gtest.h>

#include <sstream>

#include "app/CliFixture.h"

using namespace kv;

using Cli = test::CliFixture;

TEST_F(Cli, ReadsVersionStatusClockAndParametersFromTheController)
{
    ASSERT_EQ(run({"version"}), kCliOk) << err_.str();
    EXPECT_EQ(out_.str().rfind("model=3 version=", 0), 0u) << out_.str();

    ASSERT_EQ(run({"status"}), kCliOk) << err_.str();
    EXPECT_EQ(out_.str(), "state=РАБОТА status=0x00\n");

    ASSERT_EQ(run({"clock"}), kCliOk) << err_.str();
    EXPECT_EQ(out_.str().substr(0, 14), "2026-12-11 10:");

    // The same parameter as raw bytes and as a real agree with the codec.
    ASSERT_EQ(run({"read", "80/01/00", "--raw"}), kCliOk) << err_.str();
    std::istringstream hex(out_.str());
    std::array<uint8_t, 4> bytes{};
    for (auto& b : bytes) {
        unsigned v = 0;
        hex >> std::hex >> v;
        b = uint8_t(v);
    }
    ASSERT_EQ(run({"read", "80/01/00", "--real"}), kCliOk) << err_.str();
    char expected[32];
    std::snprintf(expected, sizeof expected, "%.3f\n", decodeControllerReal(bytes));
    EXPECT_EQ(out_.str(), expected);
}

// Refuses every port: an open would show "Неверный номер СОМ-порта", which no test expects.
class NoPorts final : public PortOpener {
public:
    std::unique_ptr<SerialPort> open(const std::string&) override { return nullptr; }
};

TEST_F(Cli, UsageErrorsNeverTouchTheLine)
{
    NoPorts none;
    ws_->setPortOpener(&none);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"read", "80/01"}, {"read", "80/01/zz"}, {"read", "80/01/00", "--float"},
             {"archive", "weekly", "0", "--from", "2026-12-01", "--to", "2026-12-02"},
             {"archive", "daily", "0", "--from", "2026-02-30", "--to", "2026-03-02"},
             {"archive", "daily", "0", "--from", "2026-12-02"},
             {"archive", "daily", "0", "--from", "2026-12-05", "--to", "2026-12-02"},
             {"version", "extra"}, {"--data-dir"}}) {
        EXPECT_EQ(run(args), kCliUsage) << (args.empty() ? "" : args[0]);
    }
    ws_->setPortOpener(sim_.get());
}

TEST_F(Cli, ExchangeFailureGivesItsMessageAndStatusOne)
{
    ASSERT_EQ(run({"version"}), kCliOk);   // connected once, then the controller falls silent
    sim_->station().faults().always(sim::Fault::NoAnswer);
    EXPECT_EQ(run({"status"}), kCliExchangeFailed);
    EXPECT_FALSE(err_.str().empty());
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(ws_->port(), nullptr);   // closed again
}

TEST_F(Cli, UnknownParameterIsRefusedByTheCatalog)
{
    EXPECT_EQ(run({"read", "C0/7F/00"}), kCliExchangeFailed);
    EXPECT_EQ(err_.str(), exchangeMessage(14) + "\n");
}

TEST_F(Cli, EveryKindOfLineReachesTheControllerInEveryProtocol)
{
    // The demo controller has network number 1: addressed lines select it, a switch reaches it
    // through its channel, modems dial it, CAN-BUS lines take it as the adapter's node.
    for (int prot = 0; prot < test::kProtocols; ++prot) {
        for (int type = 0; type < test::kChannelTypes; ++type) {
            SCOPED_TRACE("protocol " + std::to_string(prot) + ", channel type " + std::to_string(type));
            ws_->settings().prot = uint8_t(prot);
            useLine(type);
            ASSERT_EQ(run({"version"}), kCliOk) << err_.str();
            EXPECT_EQ(out_.str().rfind("model=3 version=", 0), 0u) << out_.str();
            ASSERT_EQ(run({"read", "80/01/00", "--real"}), kCliOk) << err_.str();
        }
    }
}
