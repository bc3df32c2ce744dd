#include <gtest/gtest.h>

#include <filesystem>

#include "app/Settings.h"
#include "text/Cp1251.h"
#include "text/Files.h"

namespace fs = std::filesystem;
using namespace kv;
using kv::text::toCp1251;

namespace {

IniFile parsed(const std::string& utf8Text)
{
    IniFile ini;
    ini.parse(toCp1251(utf8Text));
    return ini;
}

ChannelSettings readOne(const std::string& key, const std::string& value)
{
    ChannelSettings s;
    readParametr(parsed("[Parametr]\r\n" + key + "=" + value + "\r\n"), s);
    return s;
}

class SettingsFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path()
             / ("kv_settings_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void put(const std::string& name, const std::string& utf8)
    {
        ASSERT_TRUE(kv::text::writeFileAtomic((dir_ / name).string(), toCp1251(utf8)));
    }
    std::string get(const std::string& name)
    {
        std::string bytes;
        EXPECT_TRUE(kv::text::readFileBytes((dir_ / name).string(), bytes));
        return kv::text::fromCp1251(bytes);
    }
    fs::path dir_;
};

} // namespace

TEST(Settings, DefaultsBeforeAnyFileDifferFromThoseOfMissingKeys)
{
    const ChannelSettings before;
    EXPECT_EQ(before.port, 0);
    EXPECT_EQ(before.timTc, 10);
    EXPECT_EQ(before.speed, 5);
    EXPECT_EQ(before.blok1, 1);
    EXPECT_EQ(before.inimod, "AT V0 E0 S7=60");

    ChannelSettings s;
    s.timTc = 99;
    s.phone = "old";
    readParametr(IniFile(), s);
    EXPECT_EQ(s.port, 1);          // "Com2"
    EXPECT_EQ(s.portName(), "Com2");
    EXPECT_EQ(s.timTc, 0);
    EXPECT_EQ(s.speed, 5);
    EXPECT_EQ(s.blok1, 1);
    EXPECT_EQ(s.phone, "");
    EXPECT_EQ(s.inimod, "AT V0 E0 S7=60");
    EXPECT_FALSE(s.printOld);
}

TEST(Settings, ChannelTypeIgnoresBlanksAndTheCaseOfLatinLettersOnly)
{
    const struct { const char* text; int want; } cases[] = {
        {"GSM-модем", 8}, {"gsm - модем", 8}, {" G S M-модем", 8}, {"GSM-МОДЕМ", 0},
        {"Hayes-модем", 6}, {"hayes-модем - can-bus", 12}, {"CAN-BUS", 11}, {"rs485+", 10},
        {"Мультиплексор токовой петли (4-х проводной)", 9}, {"ИРПС(2-х проводной)", 2},
        {"ирпс (2-х проводной)", 0}, {"RS 232", 0}, {"Rs 485", 3}, {"", 0}, {"modem", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(channelTypeFromText(c.text), c.want) << c.text;
    EXPECT_EQ(channelTypeText(6), "Hayes-модем ");
    EXPECT_EQ(channelTypeText(13), "Rs 232");
    EXPECT_EQ(readOne("ChannelType", "gsm-модем").channelType, 8);
}

TEST(Settings, SpeedTextIsFittedToTheChannelType)
{
    const struct { const char* text; int type; int want; } cases[] = {
        {"57600", 0, 5}, {"57600", 11, 9}, {"115200 бод", 11, 10}, {"9600", 11, 10},
        {"1200", 5, 2}, {"19200", 4, 2}, {"300", 4, 0}, {"600 бод", 5, 1},
        {"  9600 бод", 0, 5}, {"19200", 0, 6}, {"600", 0, 1}, {"115200", 3, 5},
        {"38400", 0, 5}, {"", 0, 5}, {"бод", 11, 5}, {"00", 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(speedIndexFromText(c.text, c.type), c.want) << c.text << " on type " << c.type;

    // Written speeds read back as the same index on the types that can hold them.
    for (int type = 0; type < kChannelTypeCount; ++type) {
        std::vector<int> held;
        if (type == 4 || type == 5)
            held = {0, 1, 2};
        else if (type == 11)
            held = {9, 10};
        else
            held = {0, 1, 2, 3, 4, 5, 6};
        for (int i : held)
            EXPECT_EQ(speedIndexFromText(speedText(i), type), i) << "type " << type << " index " << i;
    }
    EXPECT_EQ(speedText(7), "  9600 бод");
    EXPECT_EQ(speedText(8), "  9600 бод");
    EXPECT_EQ(speedText(9), " 57600 бод");

    ChannelSettings s;
    readParametr(parsed("[Parametr]\nChannelType=Can-Bus\nSpeed=57600\n"), s);
    EXPECT_EQ(s.speed, 9);
    EXPECT_EQ(s.baud(), 57600);
}

TEST(Settings, NumbersAreNarrowedToTheirByteAndChecked)
{
    const struct { const char* key; const char* value; int want; } cases[] = {
        {"SetNumber", "200", 0}, {"SetNumber", "127", 127}, {"SetNumber", "257", 1},
        {"SetNumber", "x", 0}, {"Blok1", "7", 1}, {"Blok1", "3", 3}, {"Blok1", "-1", 1},
        {"Blok1", "", 1}, {"Channel", "254", 0}, {"Channel", "255", 0}, {"Channel", "5", 5},
        {"Crc", "253", 0}, {"Crc", "2", 2}, {"MultNumb", "300", 44}, {"TimTc", "15", 15},
        {"Timotk", "-1", 255}, {"CodePC", "1F", 31}, {"CodePC", "7f", 127}, {"CodePC", "0x10", 0},
        {"CodePC", "G1", 0}, {"ModemMin", "-5", 0}, {"ModemMin", "100000", 100000},
    };
    for (const auto& c : cases) {
        const ChannelSettings s = readOne(c.key, c.value);
        const std::string k = c.key;
        const int got = k == "SetNumber" ? s.setNumber : k == "Blok1" ? s.blok1 : k == "Channel" ? s.channel
                      : k == "Crc" ? s.crc : k == "MultNumb" ? s.multNumb : k == "TimTc" ? s.timTc
                      : k == "Timotk" ? s.timotk : k == "CodePC" ? s.codePC : s.modemMin;
        EXPECT_EQ(got, c.want) << c.key << "=" << c.value;
    }
}

TEST(Settings, ChoicesFlagsAndTexts)
{
    EXPECT_EQ(readOne("Port", "Com3").port, 2);
    EXPECT_EQ(readOne("Port", "COM3").port, 1);       // exact text only
    EXPECT_EQ(readOne("Prot", "ft1.1").prot, 2);
    EXPECT_EQ(readOne("Prot", "FT1.2").prot, 1);
    EXPECT_EQ(readOne("Prot", "Традиционный").prot, 0);
    EXPECT_TRUE(readOne("Modem", "yes").modem);
    EXPECT_TRUE(readOne("avarYes", "YES").avarYes);
    EXPECT_FALSE(readOne("Report", "1").report);
    EXPECT_FALSE(readOne("Avto", "Y").avto);
    EXPECT_TRUE(readOne("Print", "old").printOld);
    EXPECT_FALSE(readOne("Print", "New").printOld);
    EXPECT_EQ(readOne("Inimod", "").inimod, "");      // present but empty is not missing
    EXPECT_EQ(readOne("Inimod", "ATZ S0=1").inimod, "ATZ S0=1");
    const std::string longPhone(60, '7');
    EXPECT_EQ(readOne("Phone", longPhone).phone, std::string(50, '7'));
    std::string longName;
    for (int i = 0; i < 60; ++i)
        longName += "ж";
    EXPECT_EQ(readOne("NameArhInt", longName).nameArhInt, longName.substr(0, 100));   // 50 characters
}

TEST(Settings, CanSpeedIsSearchedFromTheEndOfItsList)
{
    const struct { const char* text; int want; } cases[] = {
        {"  37,5", 9}, {"37,5", 9}, {"37.5", 0}, {"100", 4}, {"10", 14}, {"75", 5},
        {"300", 0}, {"30", 10}, {"5", 13}, {"", 0}, {"кбод", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(canSpeedFromText(c.text), c.want) << c.text;
    for (int i = 0; i < 15; ++i) {
        ChannelSettings s;
        s.speedPC = uint8_t(i);
        IniFile ini;
        writeParametr(ini, s);
        ChannelSettings back;
        readParametr(ini, back);
        EXPECT_EQ(back.speedPC, i);
    }
}

TEST(Settings, ParametrIsWrittenInFileOrderKeepingItsPlaceAndName)
{
    IniFile ini = parsed(
        "[Prew]\r\nColor=1\r\n\r\n"
        "[Parametr]\r\nName=Котельная\r\nObsolete=1\r\nPort=Com4\r\n\r\n"
        "[CAN-BUS]\r\nCNF 321=02 E0 41\r\n");
    ChannelSettings s;
    s.port = 2;
    s.channelType = 13;         // not a type: written as the first name
    s.speed = 9;
    s.setNumber = 5;
    s.modem = true;
    s.phone = "8(495)1234567";
    s.prot = 7;                 // not a protocol: written as the first caption
    s.crc = 1;
    s.timTc = 10;
    s.timotk = 30;
    s.voice[1] = "тревога.wav";
    s.avarYes = true;
    s.blok1 = 3;
    s.nameArhInt = "Архив за 5 минут";
    s.codePC = 0x1F;
    s.speedPC = 9;
    s.modemMin = 15;
    writeParametr(ini, s);
    EXPECT_EQ(ini.serialize(), toCp1251(
        "[Prew]\r\nColor=1\r\n\r\n"
        "[Parametr]\r\n"
        "Name=Котельная\r\n"
        "Port=Com3\r\n"
        "ChannelType=Rs 232\r\n"
        "Speed= 57600 бод\r\n"
        "SetNumber=5\r\n"
        "Channel=0\r\n"
        "Modem=Yes\r\n"
        "Simbol=No\r\n"
        "Pulse=No\r\n"
        "Phone=8(495)1234567\r\n"
        "Inimod=AT V0 E0 S7=60\r\n"
        "Prot=Традиционный\r\n"
        "Crc=1\r\n"
        "MultNumb=0\r\n"
        "TimTc=10\r\n"
        "Timotk=30\r\n"
        "Voice1=\r\n"
        "Voice2=тревога.wav\r\n"
        "Voice3=\r\n"
        "avarYes=Yes\r\n"
        "Report=No\r\n"
        "Name1=Ведущий\r\n"
        "Name2=Ведомый\r\n"
        "Blok1=3\r\n"
        "NameArhInt=Архив за 5 минут\r\n"
        "Avto=No\r\n"
        "CodePC=1F\r\n"
        "SpeedPC=  37,5\r\n"
        "ModemMin=15\r\n"
        "Print=New\r\n"
        "\r\n"
        "[CAN-BUS]\r\nCNF 321=02 E0 41\r\n"));
}

TEST(Settings, WrittenSettingsReadBackUnchanged)
{
    ChannelSettings s;
    s.port = 7;
    s.channelType = 11;
    s.speed = 10;
    s.setNumber = 127;
    s.channel = 1;
    s.simbol = s.pulse = s.report = s.avto = s.printOld = true;
    s.phone = "ATDP 123";
    s.inimod = "AT&F E0";
    s.prot = 2;
    s.crc = 2;
    s.multNumb = 200;
    s.timTc = 0;
    s.voice = {"a.wav", "б.wav", "c d.wav"};
    s.blok1 = 0;
    s.codePC = 0x7F;
    s.speedPC = 14;
    s.modemMin = 2147483647;
    IniFile ini;
    writeParametr(ini, s);
    ChannelSettings back;
    back.timTc = 1;
    readParametr(ini, back);
    EXPECT_EQ(back.port, s.port);
    EXPECT_EQ(back.channelType, s.channelType);
    EXPECT_EQ(back.speed, s.speed);
    EXPECT_EQ(back.setNumber, s.setNumber);
    EXPECT_EQ(back.channel, s.channel);
    EXPECT_EQ(back.modem, s.modem);
    EXPECT_EQ(back.simbol, s.simbol);
    EXPECT_EQ(back.pulse, s.pulse);
    EXPECT_EQ(back.phone, s.phone);
    EXPECT_EQ(back.inimod, s.inimod);
    EXPECT_EQ(back.prot, s.prot);
    EXPECT_EQ(back.crc, s.crc);
    EXPECT_EQ(back.multNumb, s.multNumb);
    EXPECT_EQ(back.timTc, s.timTc);
    EXPECT_EQ(back.voice, s.voice);
    EXPECT_EQ(back.report, s.report);
    EXPECT_EQ(back.blok1, s.blok1);
    EXPECT_EQ(back.avto, s.avto);
    EXPECT_EQ(back.codePC, s.codePC);
    EXPECT_EQ(back.speedPC, s.speedPC);
    EXPECT_EQ(back.modemMin, s.modemMin);
    EXPECT_EQ(back.printOld, s.printOld);
}

TEST(Settings, ConfigurationsAreTheParametrSectionsWithTheirNames)
{
    const ConfigSections c = listConfigSections(parsed(
        "[Printer]\nZg=1\n[Parametr_2]\nName=Котельная\n[parametr]\nPort=Com1\n"
        "[XParametr_a_b]\nName=\n[Параметр]\nName=не наш\n"));
    ASSERT_EQ(c.entries.size(), 3u);
    EXPECT_EQ(c.entries[0].section, "Parametr_2");
    EXPECT_EQ(c.entries[0].displayName, "Котельная");
    EXPECT_EQ(c.entries[1].displayName, "Контроллер_2");
    EXPECT_EQ(c.entries[2].displayName, "XParametr_a_b");
    EXPECT_EQ(c.suffix, "_2");

    EXPECT_EQ(listConfigSections(parsed("[XParametr_a_b]\n")).suffix, "_a_b");
    EXPECT_EQ(listConfigSections(parsed("[Parametr]\n[Parametr_3]\n")).suffix, "");
    const ConfigSections none = listConfigSections(parsed("[Printer]\n"));
    ASSERT_EQ(none.entries.size(), 1u);
    EXPECT_EQ(none.entries[0].section, "Parametr");
    EXPECT_EQ(none.entries[0].displayName, "Контроллер_1");
    EXPECT_EQ(none.suffix, "");
}

TEST(Settings, PrinterPortsAndCanBusSections)
{
    const IniFile ini = parsed(
        "[Printer]\nZg=3\nPP=2\nOtstup=100\n"
        "[ports]\ncom1=sim\nCom2=/dev/ttyUSB0\nCom3=\n"
        "[CAN-BUS]\nAcceptance Filter=01 02\nAcceptance Mask= FF 00 00 00 FF 00 00 00\n");
    const PrinterSettings p = readPrinter(ini);
    EXPECT_EQ(p.zg, 1);
    EXPECT_EQ(p.pp, 2);
    EXPECT_EQ(p.otstup, 100);
    const PrinterSettings bad = readPrinter(parsed("[Printer]\nZg=x\nPP=-1\nOtstup=101\n"));
    EXPECT_EQ(bad.zg, 1);
    EXPECT_EQ(bad.pp, 0);
    EXPECT_EQ(bad.otstup, 1);

    const PortPaths ports = readPorts(ini);
    EXPECT_TRUE(ports.sectionRead);
    EXPECT_TRUE(ports.isSimulated(0));
    EXPECT_EQ(ports.device[1], "/dev/ttyUSB0");
    EXPECT_EQ(ports.device[2], PortPaths::defaults()[2]);
    EXPECT_FALSE(ports.isSimulated(1));
    EXPECT_FALSE(ports.isSimulated(8));
    const PortPaths none = readPorts(IniFile());
    EXPECT_FALSE(none.sectionRead);
    EXPECT_EQ(none.device, PortPaths::defaults());

    const CanBusKeys can = readCanBusKeys(ini);
    EXPECT_EQ(can.acceptanceFilter, "01 02");
    EXPECT_EQ(can.acceptanceMask, "FF 00 00 00 FF 00 00 00");
    EXPECT_EQ(can.cnf321, "");
}

TEST_F(SettingsFolder, MissingFileGivesTheDefaultsOfMissingKeysAndSavingCreatesIt)
{
    IniFile ini(configFilePath(dir_.string()));
    ChannelSettings s;
    ConfigSections sections;
    EXPECT_FALSE(loadSettings(ini, s, sections));
    EXPECT_EQ(s.port, 1);
    EXPECT_EQ(s.timTc, 0);
    EXPECT_EQ(sections.entries.at(0).displayName, "Контроллер_1");
    EXPECT_FALSE(s.ports.sectionRead);

    s.blok1 = 2;
    ASSERT_TRUE(saveSettings(ini, s));
    ChannelSettings again;
    ASSERT_TRUE(loadSettings(ini, again, sections));
    EXPECT_EQ(again.blok1, 2);
    EXPECT_TRUE(fs::exists(dir_ / "kvarnik.ini"));
}

TEST_F(SettingsFolder, SavingKeepsWhatOthersWroteSinceTheLoad)
{
    put("KVARNIK.INI",
        "[Parametr]\r\nName=Первый\r\nPort=Com1\r\navarYes=No\r\nTimTc=5\r\n\r\n"
        "[Printer]\r\nZg=1\r\n\r\n[CAN-BUS]\r\nCNF 321 = 01 02 03\r\n\r\n[Ports]\r\nCom1=sim\r\n");
    const std::string path = configFilePath(dir_.string());
    EXPECT_EQ(fs::path(path).filename(), "KVARNIK.INI");

    IniFile ini(path);
    ChannelSettings s;
    ConfigSections sections;
    ASSERT_TRUE(loadSettings(ini, s, sections));
    EXPECT_EQ(s.timTc, 5);
    EXPECT_TRUE(s.ports.isSimulated(0));
    EXPECT_EQ(s.canBus.cnf321, "01 02 03");
    EXPECT_EQ(sections.entries.at(0).displayName, "Первый");

    // The preview writes its options through its own copy of the file meanwhile.
    IniFile preview(path);
    preview.load();
    preview.writeString("Prew", "Landscape", "1");
    ASSERT_TRUE(preview.save());

    s.avarYes = true;
    s.timTc = 7;   // not saved by the alarm flag
    ASSERT_TRUE(saveAlarmFlag(ini, s));
    EXPECT_EQ(get("KVARNIK.INI"),
              "[Parametr]\r\nName=Первый\r\nPort=Com1\r\navarYes=Yes\r\nTimTc=5\r\n\r\n"
              "[Printer]\r\nZg=1\r\n\r\n[CAN-BUS]\r\nCNF 321 = 01 02 03\r\n\r\n[Ports]\r\nCom1=sim\r\n"
              "[Prew]\r\nLandscape=1\r\n");

    ASSERT_TRUE(savePrintSettings(ini, PrinterSettings{2, 1, 20}));
    ASSERT_TRUE(saveSettings(ini, s));
    const std::string text = get("KVARNIK.INI");
    EXPECT_NE(text.find("[Printer]\r\nZg=2\r\nPP=1\r\nOtstup=20\r\n\r\n[CAN-BUS]\r\nCNF 321 = 01 02 03\r\n\r\n"
                        "[Ports]\r\nCom1=sim\r\n[Prew]\r\nLandscape=1\r\n"),
              std::string::npos) << text;
    EXPECT_EQ(text.rfind("[Parametr]\r\nName=Первый\r\nPort=Com1\r\n", 0), 0u) << text;

    ChannelSettings back;
    ASSERT_TRUE(loadSettings(ini, back, sections));
    EXPECT_EQ(back.timTc, 7);
    EXPECT_TRUE(back.avarYes);
    EXPECT_EQ(back.printer.zg, 2);
    EXPECT_EQ(back.printer.otstup, 20);
}

TEST_F(SettingsFolder, UnwritableFileIsReported)
{
    IniFile ini((dir_ / "no" / "kvarnik.ini").string());
    ini.writeString("Prew", "Color", "1");
    ChannelSettings s;
    EXPECT_FALSE(saveSettings(ini, s));
    EXPECT_FALSE(ini.lastError().empty());
}

TEST(Settings, DemoConfigurationLoads)
{
    IniFile ini(configFilePath(std::string(KV_SOURCE_DIR) + "/data/demo"));
    ChannelSettings s;
    ConfigSections sections;
    ASSERT_TRUE(loadSettings(ini, s, sections));
    EXPECT_EQ(s.blok1, 3);
    EXPECT_TRUE(s.ports.isSimulated(s.port));
    EXPECT_EQ(s.prot, 0);
    EXPECT_LT(s.channelType, kChannelTypeCount);
}
