#include <gtest/gtest.h>

#include <functional>

#include "channels/SettingsForm.h"

using namespace kv;

namespace {

ChannelSettings settingsFor(int channelType, int variant = 3, bool avto = false)
{
    ChannelSettings s;
    s.port = 2;
    s.channelType = uint8_t(channelType);
    s.blok1 = uint8_t(variant);
    s.avto = avto;
    s.speed = 3;
    s.setNumber = 12;
    s.multNumb = 4;
    s.prot = 1;
    s.crc = 2;
    s.channel = 1;
    s.codePC = 0x1F;
    s.speedPC = 4;
    return s;
}

std::string selectedLink(const SettingsForm& f)
{
    return f.link >= 0 && std::size_t(f.link) < f.links.size() ? std::string(f.links[std::size_t(f.link)].text) : "";
}

// Selects the item of a link by its text, as the operator clicks it.
void clickLink(SettingsForm& f, std::string_view text)
{
    for (std::size_t i = 0; i < f.links.size(); ++i)
        if (f.links[i].text == text) {
            chooseLink(f, int(i));
            return;
        }
    ADD_FAILURE() << "no link item " << text;
}

int selectedSpeed(const SettingsForm& f) { return f.speedList.speeds.at(std::size_t(f.speed)); }

} // namespace

TEST(SettingsFormLinks, ListsDependOnWiringDetectionAndVariant)
{
    struct Case { bool avto; int variant; std::size_t count; std::string_view last; };
    const Case cases[] = {
        {false, 0, 7, "GSM-модем"},
        {false, 2, 7, "GSM-модем"},
        {false, 3, 8, "Can-Bus"},
        {true, 1, 9, "GSM-модем"},
        {true, 3, 10, "Can-Bus"},
    };
    for (const Case& c : cases) {
        const auto items = linkItems(c.avto, c.variant);
        EXPECT_EQ(items.size(), c.count) << c.avto << " " << c.variant;
        EXPECT_EQ(items.back().text, c.last) << c.avto << " " << c.variant;
    }
    const auto longList = linkItems(true, 3);
    EXPECT_EQ(longList[1].text, "ИРПС (4x-проводн)");
    EXPECT_EQ(longList[4].text, "Hayes-модем (коммутир. линия)");
    EXPECT_EQ(longList[6].text, "Мультипл.ток.петли(4x-пров)");
    EXPECT_EQ(linkItems(false, 3)[4].text, "Мультиплексор токовой петли");
}

TEST(SettingsFormLinks, EveryChannelTypeShowsAsItsItemAndSavesAsTheFirstTypeOfIt)
{
    // type: item without and with wiring detection, type saved from that item (short, long)
    struct Case { int type; int shortItem; int longItem; int shortBack; int longBack; };
    const Case cases[] = {
        {0, 0, 0, 0, 0},   {1, 1, 1, 1, 1},   {2, 1, 2, 1, 2},   {3, 0, 0, 0, 0},
        {4, 2, 3, 4, 4},   {5, 0, 0, 0, 0},   {6, 3, 4, 6, 6},   {7, 4, 5, 7, 7},
        {8, 6, 8, 8, 8},   {9, 4, 6, 7, 9},   {10, 5, 7, 10, 10}, {11, 7, 9, 11, 11},
        {12, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(linkItemOf(c.type, false, 3), c.shortItem) << c.type;
        EXPECT_EQ(linkItemOf(c.type, true, 3), c.longItem) << c.type;
        EXPECT_EQ(channelTypeOfItem(c.shortItem, false, 3), c.shortBack) << c.type;
        EXPECT_EQ(channelTypeOfItem(c.longItem, true, 3), c.longBack) << c.type;
    }
    // Without the CAN-BUS variant the CAN-BUS type has no item of its own.
    EXPECT_EQ(linkItemOf(11, false, 1), 0);
    EXPECT_EQ(linkItemOf(11, true, 0), 0);
    EXPECT_EQ(channelTypeOfItem(7, false, 1), std::nullopt);
    EXPECT_EQ(channelTypeOfItem(kNoChoice, true, 3), std::nullopt);
}

TEST(SettingsFormLinks, SpeedListsPerLinkKind)
{
    EXPECT_EQ(speedListFor(LinkKind::Ism1200).speeds, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(speedListFor(LinkKind::CanBus).speeds, (std::vector<int>{10}));
    EXPECT_EQ(speedListFor(LinkKind::CanBus).caption, "Скорость обмена компьютер-адаптер");
    for (LinkKind k : {LinkKind::Rs232, LinkKind::Irps, LinkKind::Hayes, LinkKind::Multiplexer, LinkKind::Rs485Plus,
                       LinkKind::Gsm}) {
        EXPECT_EQ(speedListFor(k).speeds, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(speedListFor(k).caption, "Скорость обмена");
    }
}

TEST(SettingsFormLoad, ShowsTheSettingsInMemory)
{
    const SettingsForm f = loadSettingsForm(settingsFor(1));
    EXPECT_EQ(f.port, 2);
    EXPECT_EQ(f.variant, 3);
    EXPECT_EQ(selectedLink(f), "ИРПС");
    EXPECT_EQ(selectedSpeed(f), 3);
    EXPECT_EQ(f.setNumber, "12");
    EXPECT_EQ(f.multNumb, "4");
    EXPECT_EQ(f.channel, 1);
    EXPECT_EQ(f.prot, 1);
    EXPECT_EQ(f.crc, 2);
    EXPECT_EQ(f.codePC, "1F");
    EXPECT_EQ(f.canSpeed, 4);
    EXPECT_TRUE(f.protocolPanel);
    EXPECT_TRUE(f.crcGroup);
    EXPECT_TRUE(f.channelAndAvto);
    EXPECT_FALSE(f.modemPanel || f.multiplexer || f.canBusPanel || f.setNumberReadOnly);
}

TEST(SettingsFormLoad, ValuesOutsideTheirListsSelectNothingOrTheFirstItem)
{
    ChannelSettings s = settingsFor(3);
    s.port = 9;
    s.channel = 5;
    s.crc = 7;
    SettingsForm f = loadSettingsForm(s);
    EXPECT_EQ(f.port, kNoChoice);
    EXPECT_EQ(f.channel, kNoChoice);
    EXPECT_EQ(f.crc, kNoChoice);
    EXPECT_EQ(selectedLink(f), "RS 232");

    // A CAN-BUS configuration opened with another variant: the first link, the first speed.
    s = settingsFor(11, 1);
    s.speed = 10;
    f = loadSettingsForm(s);
    EXPECT_EQ(selectedLink(f), "RS 232");
    EXPECT_EQ(selectedSpeed(f), 0);
}

TEST(SettingsFormLoad, ModemFieldsFollowTheModemFlag)
{
    ChannelSettings s = settingsFor(6);
    s.phone = "8123";
    s.inimod = "AT Z";
    s.pulse = false;
    s.simbol = false;
    s.modemMin = 5;
    s.prot = 0;

    s.modem = false;
    SettingsForm f = loadSettingsForm(s);
    EXPECT_EQ(f.phone, "");
    EXPECT_EQ(f.inimod, "");
    EXPECT_EQ(f.dial, 0);
    EXPECT_EQ(f.answer, 1);
    EXPECT_EQ(f.minutes, "0");
    EXPECT_FALSE(f.redial);
    EXPECT_FALSE(f.minutesShown);
    EXPECT_EQ(f.setNumber, "12");

    s.modem = true;
    f = loadSettingsForm(s);
    EXPECT_EQ(f.phone, "8123");
    EXPECT_EQ(f.inimod, "AT Z");
    EXPECT_EQ(f.dial, 1);
    EXPECT_EQ(f.answer, 0);
    EXPECT_EQ(f.minutes, "5");
    EXPECT_TRUE(f.redial);
    EXPECT_TRUE(f.minutesShown);
    EXPECT_EQ(f.setNumber, "0");   // traditional protocol over a modem
    EXPECT_TRUE(f.modemPanel);
    EXPECT_TRUE(f.hayesGroups);

    s.prot = 2;
    EXPECT_EQ(loadSettingsForm(s).setNumber, "12");
}

TEST(SettingsFormReactions, LinkChoiceShowsTheFieldsOfItsKind)
{
    SettingsForm f = loadSettingsForm(settingsFor(0));
    struct Case { std::string_view link; bool modem, hayes, mux, protocol, channel, can; };
    const Case cases[] = {
        {"Hayes-модем", true, true, false, true, true, false},
        {"GSM-модем", true, false, false, true, true, false},
        {"Мультиплексор токовой петли", false, false, true, true, true, false},
        {"Can-Bus", false, false, false, false, false, true},
        {"RS 485+", false, false, false, true, true, false},
    };
    for (const Case& c : cases) {
        clickLink(f, c.link);
        EXPECT_EQ(f.modemPanel, c.modem) << c.link;
        EXPECT_EQ(f.hayesGroups, c.hayes) << c.link;
        EXPECT_EQ(f.multiplexer, c.mux) << c.link;
        EXPECT_EQ(f.protocolPanel, c.protocol) << c.link;
        EXPECT_EQ(f.channelAndAvto, c.channel) << c.link;
        EXPECT_EQ(f.canBusPanel, c.can) << c.link;
    }
    // The basic variant has no protocol choice.
    f = loadSettingsForm(settingsFor(0, 0));
    EXPECT_EQ(f.links.size(), 7u);
    EXPECT_FALSE(f.protocolPanel);
    EXPECT_FALSE(f.crcGroup);
}

TEST(SettingsFormReactions, LinkChoiceKeepsOrResetsTheSpeed)
{
    SettingsForm f = loadSettingsForm(settingsFor(0));   // stored speed 3
    f.speed = 6;                                          // the operator picks 19200
    clickLink(f, "Hayes-модем");                          // same list: back to the stored speed
    EXPECT_EQ(selectedSpeed(f), 3);

    clickLink(f, "ИСМ-1200 (выделенная линия)");          // new list without the stored speed
    EXPECT_EQ(f.speedList.speeds.size(), 3u);
    EXPECT_EQ(selectedSpeed(f), 0);

    clickLink(f, "Can-Bus");
    EXPECT_EQ(selectedSpeed(f), 10);

    ChannelSettings s = settingsFor(4);
    s.speed = 2;
    f = loadSettingsForm(s);
    clickLink(f, "RS 232");                               // stored speed lies in the new list
    EXPECT_EQ(selectedSpeed(f), 2);

    s = settingsFor(11);
    s.speed = 10;
    f = loadSettingsForm(s);
    clickLink(f, "RS 232");                               // 115200 is not offered: first item
    EXPECT_EQ(selectedSpeed(f), 0);
    clickLink(f, "GSM-модем");                            // same list: stored speed, clipped
    EXPECT_EQ(selectedSpeed(f), 6);
}

TEST(SettingsFormReactions, WiringDetectionCarriesTheLinkAcrossLayouts)
{
    struct Case { std::string_view before; std::string_view after; };
    const Case on[] = {
        {"RS 232", "RS 232"},
        {"ИРПС", "ИРПС (4x-проводн)"},
        {"Мультиплексор токовой петли", "Мультипл.ток.петли(2x-пров)"},
        {"Hayes-модем", "Hayes-модем (коммутир. линия)"},
        {"Can-Bus", "Can-Bus"},
    };
    for (const Case& c : on) {
        SettingsForm f = loadSettingsForm(settingsFor(0));
        clickLink(f, c.before);
        f.speed = 0;
        chooseAvto(f, true);
        EXPECT_EQ(selectedLink(f), c.after);
        EXPECT_EQ(f.speed, 0) << "the link is the same, so is the operator's speed";
    }
    const Case off[] = {
        {"ИРПС (2x-проводн)", "ИРПС"},
        {"Мультипл.ток.петли(4x-пров)", "Мультиплексор токовой петли"},
        {"GSM-модем", "GSM-модем"},
    };
    for (const Case& c : off) {
        SettingsForm f = loadSettingsForm(settingsFor(0, 3, true));
        clickLink(f, c.before);
        chooseAvto(f, false);
        EXPECT_EQ(selectedLink(f), c.after);
    }

    SettingsForm f = loadSettingsForm(settingsFor(0));
    clickLink(f, "Мультиплексор токовой петли");
    f.link = kNoChoice;
    chooseAvto(f, true);
    EXPECT_EQ(selectedLink(f), "RS 232");
    EXPECT_FALSE(f.multiplexer);
}

TEST(SettingsFormReactions, VariantChoiceReturnsToTheStoredLink)
{
    SettingsForm f = loadSettingsForm(settingsFor(8, 2));
    clickLink(f, "RS 485+");
    chooseVariant(f, 3);
    EXPECT_EQ(f.links.size(), 8u);
    EXPECT_EQ(selectedLink(f), "GSM-модем");
    EXPECT_TRUE(f.modemPanel);
    EXPECT_TRUE(f.protocolPanel);

    clickLink(f, "Can-Bus");
    chooseVariant(f, 0);
    EXPECT_EQ(f.links.size(), 7u);
    EXPECT_EQ(selectedLink(f), "GSM-модем");
    EXPECT_FALSE(f.protocolPanel);
    EXPECT_FALSE(f.canBusPanel);
    EXPECT_EQ(f.speedList.speeds.size(), 7u);
}

TEST(SettingsFormReactions, ProtocolDecidesCrcAndTheMultiplexerNetworkNumber)
{
    ChannelSettings s = settingsFor(7);
    s.prot = 0;
    SettingsForm f = loadSettingsForm(s);
    EXPECT_EQ(f.setNumber, "0");
    EXPECT_TRUE(f.setNumberReadOnly);
    EXPECT_FALSE(f.crcGroup);

    chooseProtocol(f, 1);
    EXPECT_TRUE(f.crcGroup);
    EXPECT_FALSE(f.setNumberReadOnly);
    f.setNumber = "9";
    chooseProtocol(f, 2);
    EXPECT_FALSE(f.crcGroup);
    EXPECT_FALSE(f.setNumberReadOnly);
    EXPECT_EQ(f.setNumber, "9");
    chooseProtocol(f, 0);
    EXPECT_TRUE(f.setNumberReadOnly);
    EXPECT_EQ(f.setNumber, "0");

    clickLink(f, "RS 232");
    EXPECT_FALSE(f.setNumberReadOnly);
    chooseProtocol(f, 0);
    EXPECT_FALSE(f.setNumberReadOnly);
}

namespace {

// A form that saves: a Hayes modem link with everything filled in.
SettingsForm hayesForm()
{
    ChannelSettings s = settingsFor(6);
    s.modem = true;
    s.phone = "123";
    s.inimod = "AT";
    return loadSettingsForm(s);
}

} // namespace

TEST(SettingsFormCheck, FirstMissingOrBadFieldStopsTheSave)
{
    using Edit = std::function<void(SettingsForm&)>;
    struct Case { const char* what; Edit edit; FormField expected; };
    const Case cases[] = {
        {"nothing wrong", [](SettingsForm&) {}, FormField::None},
        {"no port", [](SettingsForm& f) { f.port = kNoChoice; }, FormField::Port},
        {"port before the rest", [](SettingsForm& f) { f.port = kNoChoice; f.setNumber.clear(); f.phone.clear(); },
         FormField::Port},
        {"no speed", [](SettingsForm& f) { f.speed = kNoChoice; }, FormField::Speed},
        {"no link", [](SettingsForm& f) { f.link = kNoChoice; }, FormField::Link},
        {"no channel", [](SettingsForm& f) { f.channel = kNoChoice; }, FormField::Channel},
        {"empty network number", [](SettingsForm& f) { f.setNumber.clear(); }, FormField::SetNumber},
        {"network number not a number", [](SettingsForm& f) { f.setNumber = "1a"; }, FormField::SetNumber},
        {"network number too long", [](SettingsForm& f) { f.setNumber = "99999999999"; }, FormField::SetNumber},
        {"network number above 127", [](SettingsForm& f) { f.setNumber = "128"; }, FormField::SetNumber},
        {"network number 127", [](SettingsForm& f) { f.setNumber = "127"; }, FormField::None},
        {"empty phone", [](SettingsForm& f) { f.phone.clear(); }, FormField::Phone},
        {"empty init string", [](SettingsForm& f) { f.inimod.clear(); }, FormField::Inimod},
        {"no answer type", [](SettingsForm& f) { f.answer = kNoChoice; }, FormField::Answer},
        {"no dial mode", [](SettingsForm& f) { f.dial = kNoChoice; }, FormField::Dial},
        {"redial without minutes", [](SettingsForm& f) { chooseRedial(f, true); f.minutes.clear(); },
         FormField::Minutes},
        {"redial with minutes", [](SettingsForm& f) { chooseRedial(f, true); f.minutes = "3"; }, FormField::None},
        {"no minutes without redial", [](SettingsForm& f) { chooseRedial(f, false); f.minutes.clear(); },
         FormField::None},
        {"GSM ignores the hidden groups",
         [](SettingsForm& f) { clickLink(f, "GSM-модем"); f.answer = kNoChoice; f.dial = kNoChoice; }, FormField::None},
        {"no modem fields off a modem", [](SettingsForm& f) { clickLink(f, "RS 232"); f.phone.clear(); f.inimod.clear(); },
         FormField::None},
        {"multiplexer without channel",
         [](SettingsForm& f) { chooseProtocol(f, 1); clickLink(f, "Мультиплексор токовой петли"); f.multNumb.clear(); },
         FormField::MultNumb},
        {"network number checked before the multiplexer channel range",
         [](SettingsForm& f) { chooseProtocol(f, 1); clickLink(f, "Мультиплексор токовой петли"); f.multNumb = "256"; f.setNumber = "300"; },
         FormField::SetNumber},
        {"multiplexer channel above 255",
         [](SettingsForm& f) { clickLink(f, "Мультиплексор токовой петли"); f.multNumb = "256"; }, FormField::MultNumb},
        {"hidden multiplexer channel",
         [](SettingsForm& f) { clickLink(f, "RS 232"); f.multNumb = "999"; }, FormField::None},
        {"computer address 7F", [](SettingsForm& f) { clickLink(f, "Can-Bus"); f.codePC = "7F"; }, FormField::None},
        {"computer address 80", [](SettingsForm& f) { clickLink(f, "Can-Bus"); f.codePC = "80"; }, FormField::CodePC},
        {"computer address empty", [](SettingsForm& f) { clickLink(f, "Can-Bus"); f.codePC.clear(); }, FormField::CodePC},
        {"hidden computer address", [](SettingsForm& f) { clickLink(f, "RS 232"); f.codePC = "FF"; }, FormField::None},
        {"hidden channel on CAN-BUS", [](SettingsForm& f) { clickLink(f, "Can-Bus"); f.channel = kNoChoice; },
         FormField::None},
    };
    for (const Case& c : cases) {
        SettingsForm f = hayesForm();
        c.edit(f);
        EXPECT_EQ(checkSettingsForm(f), c.expected) << c.what;
    }
    EXPECT_TRUE(isChoiceGroup(FormField::Port));
    EXPECT_TRUE(isChoiceGroup(FormField::Dial));
    EXPECT_FALSE(isChoiceGroup(FormField::Channel));
    EXPECT_FALSE(isChoiceGroup(FormField::CodePC));
}

TEST(SettingsFormStore, CanBusLinkStoresItsTypeAndTheAdapterSpeed)
{
    ChannelSettings s = settingsFor(0, 3, true);
    SettingsForm f = loadSettingsForm(s);
    EXPECT_EQ(f.links.size(), 10u);
    clickLink(f, "Can-Bus");
    f.codePC = "7f";
    f.canSpeed = 9;
    ASSERT_EQ(checkSettingsForm(f), FormField::None);
    storeSettingsForm(f, s);
    EXPECT_EQ(s.channelType, 11);
    EXPECT_EQ(s.speed, 10);
    EXPECT_EQ(s.codePC, 0x7F);
    EXPECT_EQ(s.speedPC, 9);
    EXPECT_TRUE(s.avto);
    EXPECT_FALSE(s.modem);
}

TEST(SettingsFormStore, ModemLinksDeriveTheModemFlagAndTheirSettings)
{
    ChannelSettings s = settingsFor(0);
    s.phone = "keep";
    SettingsForm f = loadSettingsForm(s);
    clickLink(f, "Hayes-модем");
    f.speed = 1;
    f.phone = std::string(60, '7');
    f.inimod = "AT &F";
    f.answer = 0;
    f.dial = 0;
    chooseRedial(f, true);
    f.minutes = "15";
    ASSERT_EQ(checkSettingsForm(f), FormField::None);
    storeSettingsForm(f, s);
    EXPECT_EQ(s.channelType, 6);
    EXPECT_EQ(s.speed, 5);
    EXPECT_TRUE(s.modem);
    EXPECT_FALSE(s.simbol);
    EXPECT_TRUE(s.pulse);
    EXPECT_EQ(s.phone, std::string(50, '7'));
    EXPECT_EQ(s.inimod, "AT &F");
    EXPECT_EQ(s.modemMin, 15);

    clickLink(f, "GSM-модем");
    chooseRedial(f, false);
    storeSettingsForm(f, s);
    EXPECT_EQ(s.channelType, 8);
    EXPECT_EQ(s.speed, 5);
    EXPECT_TRUE(s.simbol);
    EXPECT_FALSE(s.pulse);
    EXPECT_EQ(s.modemMin, 0);

    clickLink(f, "RS 485+");
    f.speed = 6;
    storeSettingsForm(f, s);
    EXPECT_EQ(s.channelType, 10);
    EXPECT_EQ(s.speed, 6);
    EXPECT_FALSE(s.modem);
    EXPECT_EQ(s.modemMin, 0);
    EXPECT_EQ(s.phone, std::string(50, '7')) << "the modem strings stay for the next modem link";
}

TEST(SettingsFormStore, StoresEveryChoiceAndLeavesTheRest)
{
    ChannelSettings s = settingsFor(3);
    s.timTc = 33;
    s.voice[1] = "alarm.wav";
    s.multNumb = 9;
    SettingsForm f = loadSettingsForm(s);
    chooseVariant(f, 2);
    f.port = 7;
    f.speed = 4;
    f.prot = 2;
    f.crc = 1;
    f.setNumber = "101";
    f.channel = 0;
    f.multNumb = "";   // hidden and empty: the stored channel stays
    f.codePC = "FF";   // hidden and not accepted: 0
    f.report = true;
    ASSERT_EQ(checkSettingsForm(f), FormField::None);
    storeSettingsForm(f, s);
    EXPECT_EQ(s.port, 7);
    EXPECT_EQ(s.channelType, 0);
    EXPECT_EQ(s.speed, 4);
    EXPECT_EQ(s.prot, 2);
    EXPECT_EQ(s.crc, 1);
    EXPECT_EQ(s.setNumber, 101);
    EXPECT_EQ(s.channel, 0);
    EXPECT_EQ(s.multNumb, 9);
    EXPECT_EQ(s.blok1, 2);
    EXPECT_EQ(s.codePC, 0);
    EXPECT_TRUE(s.report);
    EXPECT_EQ(s.timTc, 33);
    EXPECT_EQ(s.voice[1], "alarm.wav");
}
