#include <gtest/gtest.h>

#include <filesystem>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "sim/VirtualClock.h"
#include "text/Cp1251.h"
#include "text/DateTime.h"
#include "text/Files.h"

namespace fs = std::filesystem;
using namespace kv;

namespace {

// A copy of the demo work folder, so a test can delete and damage files freely.
class DemoFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path()
             / ("kv_ws_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        test::copyDemoFolder(dir_);
        ws_ = std::make_unique<Workspace>(dir_.string(), clock_, pump_, op_);
    }
    void TearDown() override
    {
        ws_.reset();
        fs::remove_all(dir_);
        for (const auto& p : op_.problems())
            ADD_FAILURE() << p;
    }
    void put(const std::string& name, const std::string& bytes)
    {
        ASSERT_TRUE(text::writeFileAtomic((dir_ / name).string(), bytes));
    }
    void setIniLine(const std::string& section, const std::string& key, const std::string& value)
    {
        IniFile ini((dir_ / "kvarnik.ini").string());
        ini.load();
        ini.writeString(section, key, value);
        ASSERT_TRUE(ini.save());
    }

    fs::path dir_;
    sim::VirtualClock clock_{text::encodeDate(2026, 12, 11) + 0.5};
    NullEventPump pump_;
    test::ScriptedOperator op_;
    std::unique_ptr<Workspace> ws_;
};

} // namespace

TEST_F(DemoFolder, ActivationLoadsEverythingTheDemoFolderHolds)
{
    ws_->activate();
    EXPECT_TRUE(ws_->catalogLoaded());
    EXPECT_FALSE(ws_->catalog().entries().empty());
    EXPECT_FALSE(ws_->failureTexts().empty());
    EXPECT_EQ(ws_->settings().portName(), "Com1");
    EXPECT_EQ(ws_->modelIndex, ws_->settings().blok1);
    const MenuState& m = ws_->menu();
    EXPECT_TRUE(m.workWithControllerVisible);
    EXPECT_FALSE(m.teleindicationVisible);
    EXPECT_EQ(m.intervalsVisible, ws_->modelIndex > 1);
    EXPECT_EQ(m.telecontrolVisible, ws_->settings().channelType < 11);
    EXPECT_FALSE(m.usbFlashVisible);   // no report blanks in the demo folder
    EXPECT_TRUE(op_.messages.empty());
}

TEST_F(DemoFolder, DeletedReferenceHidesControllerWorkAtNextActivation)
{
    ws_->activate();
    ASSERT_TRUE(ws_->menu().workWithControllerVisible);
    fs::remove(dir_ / "Sprav.txt");
    op_.expectMessage(kNoReferenceMessage);
    ws_->activate();
    EXPECT_FALSE(ws_->catalogLoaded());
    EXPECT_TRUE(ws_->catalog().entries().empty());
    EXPECT_FALSE(ws_->menu().workWithControllerVisible);
    EXPECT_TRUE(ws_->menu().teleindicationVisible);
}

TEST_F(DemoFolder, EmptyFailureTextsAreReportedAndEmptyReferenceCountsAsMissing)
{
    put("Error.txt", "");
    put("Sprav.txt", "\r\n\r\n");
    op_.expectMessage(kNoReferenceMessage);
    op_.expectMessage(kNoFailureTextsMessage);
    ws_->activate();
    EXPECT_TRUE(ws_->failureTexts().empty());
    EXPECT_FALSE(ws_->catalogLoaded());
}

TEST_F(DemoFolder, ModelTableOverridesDailyMonthlyAndIntervalCountsAtActivation)
{
    for (int model = 0; model < 4; ++model) {
        setIniLine("Parametr", "Blok1", std::to_string(model));
        ws_->activate();
        ArchiveCounts expected;
        expected.applyModel(model);
        EXPECT_EQ(ws_->archiveCounts().daily, expected.daily) << model;
        EXPECT_EQ(ws_->archiveCounts().monthly, expected.monthly) << model;
        EXPECT_EQ(ws_->archiveCounts().interval, expected.interval) << model;
        EXPECT_EQ(ws_->menu().sensorNamesVisible, model > 1);
    }
}

TEST_F(DemoFolder, ConfigurationSuffixNamesTheListFiles)
{
    std::string ini;
    ASSERT_TRUE(text::readFileBytes((dir_ / "kvarnik.ini").string(), ini));
    const std::string from = "[Parametr]", to = "[Parametr_7]";
    ini.replace(ini.find(from), from.size(), to);
    put("kvarnik.ini", ini);
    put("REPORT_7.FIL", "x");   // written on Windows, in capitals
    ws_->activate();
    EXPECT_EQ(ws_->suffix(), "_7");
    EXPECT_EQ(fs::path(ws_->groupFile()).filename(), "Zakaz_7.fil");
    EXPECT_EQ(fs::path(ws_->descriptorFile(ArchiveKind::Monthly)).filename(), "Ar_Mes_7.Fil");
    EXPECT_EQ(fs::path(ws_->reportFile()).filename(), "REPORT_7.FIL");
    EXPECT_TRUE(ws_->menu().usbFlashVisible);
}

TEST_F(DemoFolder, ListAreasStartEmptyAndTakeOnlyWholeRecords)
{
    BitSignalTable described;
    BitSignal a;
    a.bit = 1;
    a.name = "Дверь щита";
    described.append(a);
    a.bit = 7;
    a.name = "Насос подпитки";
    described.append(a);
    ASSERT_TRUE(described.save((dir_ / "Matr.Fil").string()));
    put("Ar_Hour.Fil", std::string(100, 'A'));              // damaged: shorter than the record
    std::string daily(kDescriptorAreaSize, '\0');
    daily[0] = 3;
    put("Ar_Day.Fil", daily);
    put("DatUsl.txt", text::toCp1251("Датчик наружного воздуха\r\n\r\nУровень в баке\r\n"));
    ws_->activate();

    EXPECT_EQ(ws_->bitSignalCount(), 2);
    const auto& hourly = ws_->descriptorAreas()[0];
    for (std::size_t slot = 0; slot < 128; ++slot) {
        ASSERT_EQ(hourly[slot * kDescriptorSlotSize], 255) << slot;
        ASSERT_EQ(hourly[slot * kDescriptorSlotSize + 10], 0) << slot;
    }
    EXPECT_EQ(ws_->descriptorAreas()[1][0], 3);
    EXPECT_EQ(ws_->sensorNames(), (std::vector<std::string>{"Датчик наружного воздуха", "Уровень в баке"}));
}

TEST_F(DemoFolder, DebugModeSwitchesTheEngineToSingleAttemptsAtActivation)
{
    ws_->activate();
    EXPECT_EQ(ws_->exchange().state().attemptCount, 3);
    ws_->toggleDebugMode();
    EXPECT_TRUE(ws_->debugMode());
    ws_->activate();
    EXPECT_EQ(ws_->exchange().state().attemptCount, 1);
    ws_->toggleDebugMode();
    EXPECT_EQ(ws_->attemptSetting(), 3);
}

TEST_F(DemoFolder, TraceGoesToTheMemoAndWithReportOnToTheDatedFile)
{
    setIniLine("Parametr", "Report", "Yes");
    ws_->activate();
    std::vector<std::string> memo;
    int clears = 0;
    ws_->debugLog().setMemoSink([&](const std::string& line, bool clearFirst) {
        if (clearFirst) {
            memo.clear();
            ++clears;
        }
        memo.push_back(line);
    });
    clock_.set(text::encodeDate(2026, 3, 5) + (13 * 3600 + 4 * 60 + 5.25) / 86400.0);
    for (int i = 0; i < 502; ++i)
        ws_->debugLog().debugLog(">>05");
    EXPECT_EQ(clears, 1);   // cleared when it held more than 500 lines
    EXPECT_LE(memo.size(), 501u);
    EXPECT_EQ(memo.back(), "13:04:05:250 : >>05");

    std::string file;
    ASSERT_TRUE(text::readFileBytes((dir_ / "05_03_26.Txt").string(), file));
    EXPECT_EQ(file.substr(0, 21), "13:04:05:250 : >>05\r\n");

    ws_->dataLog().dataLog("Отказ", "1");
    ASSERT_TRUE(text::readFileBytes((dir_ / "dan_05_03_26.Txt").string(), file));
    EXPECT_EQ(text::fromCp1251(file), "Отказ\t1\r\n");
}

#include "sim/SimPort.h"

namespace {

// A port opener that refuses every name: what a missing device looks like.
class NoPorts final : public PortOpener {
public:
    std::unique_ptr<SerialPort> open(const std::string&) override { return nullptr; }
};

} // namespace

TEST_F(DemoFolder, FailedOpenNamesThePortAndKeepsNoPort)
{
    ws_->activate();
    NoPorts none;
    ws_->setPortOpener(&none);
    op_.expectMessage("Неверный номер СОМ-порта Com1");
    EXPECT_FALSE(ws_->openPort());
    EXPECT_EQ(ws_->port(), nullptr);
}

TEST_F(DemoFolder, VersionReadAdoptsTheReportedModelAndStoresIt)
{
    setIniLine("Parametr", "Blok1", "3");
    ws_->activate();
    const auto& s = ws_->settings();
    // The controller on the line is a model 2, whatever the configuration says.
    sim::SimPortOpener controller(sim::stationOptionsFromSettings(2, s.setNumber, s.prot, s.crc, s.channel,
                                                                  s.channelType, s.multNumb, ""),
                                  &clock_);
    ws_->setPortOpener(&controller);
    ASSERT_TRUE(ws_->openPort());
    ASSERT_TRUE(ws_->connect());
    ASSERT_EQ(ws_->versionRead(), 0);
    EXPECT_TRUE(ws_->versionDone);
    EXPECT_EQ(ws_->modelIndex, 2);
    EXPECT_EQ(ws_->settings().blok1, 2);
    ArchiveCounts model2;
    model2.applyModel(2);
    EXPECT_EQ(ws_->archiveCounts().monthly, model2.monthly);

    IniFile ini((dir_ / "kvarnik.ini").string());
    ini.load();
    EXPECT_EQ(ini.readString("Parametr", "Blok1"), "2");
    EXPECT_EQ(ini.readString("Parametr", "Name"), "Демонстрационный контроллер");   // kept by the save
}
