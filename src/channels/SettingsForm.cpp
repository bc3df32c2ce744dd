#include "channels/SettingsForm.h"

#include <array>
#include <cstdint>
#include <limits>

#include "text/Cp1251.h"

namespace kv {

namespace {

// Channel types the window can select, and the item that shows each in the two lists.
// 3, 5 and 12 are set only in the configuration file; they show as the first item.
constexpr int kOfferedTypes = 12;   // 0..11
constexpr std::array<int, kChannelTypeCount> kShortItem = {0, 1, 1, 0, 2, 0, 3, 4, 6, 4, 5, 7, 0};
constexpr std::array<int, kChannelTypeCount> kLongItem = {0, 1, 2, 0, 3, 0, 4, 5, 8, 6, 7, 9, 0};

constexpr std::array<LinkItem, 8> kShortList = {{
    {"RS 232", 0},
    {"ИРПС", 1},
    {"ИСМ-1200 (выделенная линия)", 4},
    {"Hayes-модем", 6},
    {"Мультиплексор токовой петли", 7},
    {"RS 485+", 10},
    {"GSM-модем", 8},
    {"Can-Bus", 11},
}};

constexpr std::array<LinkItem, 10> kLongList = {{
    {"RS 232", 0},
    {"ИРПС (4x-проводн)", 1},
    {"ИРПС (2x-проводн)", 2},
    {"ИСМ-1200 (выделенная линия)", 4},
    {"Hayes-модем (коммутир. линия)", 6},
    {"Мультипл.ток.петли(2x-пров)", 7},
    {"Мультипл.ток.петли(4x-пров)", 9},
    {"RS 485+", 10},
    {"GSM-модем", 8},
    {"Can-Bus", 11},
}};

constexpr int kSpeed9600 = 5;
constexpr int kSpeed115200 = 10;

// The item of a channel type in a layout, whether or not the list holds it.
int layoutItem(int channelType, bool avto)
{
    if (channelType < 0 || channelType >= kChannelTypeCount)
        return 0;
    return (avto ? kLongItem : kShortItem)[std::size_t(channelType)];
}

bool inRange(int v, std::size_t count) { return v >= 0 && std::size_t(v) < count; }

std::optional<int> parseDigits(std::string_view text, int base)
{
    if (text.empty())
        return std::nullopt;
    std::int64_t v = 0;
    for (char ch : text) {
        int d = -1;
        if (ch >= '0' && ch <= '9')
            d = ch - '0';
        else if (base == 16 && ch >= 'A' && ch <= 'F')
            d = ch - 'A' + 10;
        else if (base == 16 && ch >= 'a' && ch <= 'f')
            d = ch - 'a' + 10;
        if (d < 0)
            return std::nullopt;
        v = v * base + d;
        if (v > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
    }
    return int(v);
}

std::string hex2(int v)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[(v >> 4) & 0xF], digits[v & 0xF]};
}

// Multiplexer with the traditional protocol: the switch channel picks the controller and
// the traditional frames carry no address, so the network number is fixed at 0.
void applyNetworkNumberRule(SettingsForm& f)
{
    if (f.kind == LinkKind::Multiplexer && f.prot == 0) {
        f.setNumber = "0";
        f.setNumberReadOnly = true;
    } else {
        f.setNumberReadOnly = false;
    }
}

void refreshSpeeds(SettingsForm& f)
{
    SpeedList list = speedListFor(f.kind);
    const int count = int(list.speeds.size());
    if (list == f.speedList) {
        f.speed = f.storedSpeed < count ? f.storedSpeed : count - 1;
        if (f.speed < 0)
            f.speed = 0;
        return;
    }
    f.speedList = std::move(list);
    if (f.kind == LinkKind::CanBus)
        f.speed = 0;
    else
        f.speed = inRange(f.storedSpeed, f.speedList.speeds.size()) ? f.storedSpeed : 0;
}

void applyProtocolPanel(SettingsForm& f)
{
    f.protocolPanel = int(f.kind) <= int(LinkKind::Gsm) && f.variant != 0;
    f.crcGroup = f.protocolPanel && f.prot == 1;
}

// Everything that follows from the selected link.
void applyLink(SettingsForm& f)
{
    const std::optional<int> type = channelTypeOfItem(f.link, f.avto, f.variant);
    f.kind = linkKindOf(type.value_or(0));
    f.modemPanel = isModemLink(f.kind);
    f.hayesGroups = f.kind == LinkKind::Hayes;
    f.multiplexer = f.kind == LinkKind::Multiplexer;
    applyNetworkNumberRule(f);
    applyProtocolPanel(f);
    f.channelAndAvto = int(f.kind) <= int(LinkKind::Gsm);
    f.canBusPanel = f.kind == LinkKind::CanBus;
    refreshSpeeds(f);
}

} // namespace

std::vector<LinkItem> linkItems(bool avto, int variant)
{
    std::vector<LinkItem> items;
    if (avto)
        items.assign(kLongList.begin(), kLongList.end());
    else
        items.assign(kShortList.begin(), kShortList.end());
    if (variant != kCanBusVariant)
        items.pop_back();
    return items;
}

int linkItemOf(int channelType, bool avto, int variant)
{
    const int item = layoutItem(channelType, avto);
    return inRange(item, linkItems(avto, variant).size()) ? item : 0;
}

std::optional<int> channelTypeOfItem(int item, bool avto, int variant)
{
    if (!inRange(item, linkItems(avto, variant).size()))
        return std::nullopt;
    for (int type = 0; type < kOfferedTypes; ++type)
        if (layoutItem(type, avto) == item)
            return type;
    return std::nullopt;
}

LinkKind linkKindOf(int channelType)
{
    return LinkKind(layoutItem(channelType, false));
}

SpeedList speedListFor(LinkKind k)
{
    switch (k) {
    case LinkKind::Ism1200:
        return {"Скорость обмена", {0, 1, 2}};
    case LinkKind::CanBus:
        return {"Скорость обмена компьютер-адаптер", {kSpeed115200}};
    default:
        return {"Скорость обмена", {0, 1, 2, 3, 4, 5, 6}};
    }
}

SettingsForm loadSettingsForm(const ChannelSettings& s)
{
    SettingsForm f;
    f.storedChannelType = s.channelType;
    f.storedSpeed = s.speed;

    f.port = inRange(s.port, kPortNames.size()) ? s.port : kNoChoice;
    f.variant = inRange(s.blok1, kModelNames.size()) ? s.blok1 : kNoChoice;
    f.setNumber = std::to_string(s.setNumber);
    f.multNumb = std::to_string(s.multNumb);
    f.avto = s.avto;

    f.links = linkItems(f.avto, f.variant);
    f.link = linkItemOf(s.channelType, f.avto, f.variant);

    f.prot = inRange(s.prot, kProtocolCaptions.size()) ? s.prot : kNoChoice;
    f.crc = inRange(s.crc, kCrcCaptions.size()) ? s.crc : kNoChoice;

    applyLink(f);

    f.channel = inRange(s.channel, kChannelCaptions.size()) ? s.channel : kNoChoice;

    if (!s.modem) {
        f.phone.clear();
        f.inimod.clear();
        f.dial = 0;     // "Импульсный"
        f.answer = 1;   // "Символьный"
        f.minutes = "0";
        f.redial = false;
    } else {
        f.inimod = s.inimod;
        f.phone = s.phone;
        f.dial = s.pulse ? 0 : 1;
        f.answer = s.simbol ? 1 : 0;
        // Over a modem the dial reaches the controller and the traditional protocol selects
        // no network number, so the field shows 0.
        if (s.prot == 0)
            f.setNumber = "0";
        f.minutes = std::to_string(s.modemMin);
        f.redial = s.modemMin > 0;
    }
    f.minutesShown = f.redial;

    f.codePC = hex2(s.codePC);
    f.canSpeed = inRange(s.speedPC, kCanSpeedTexts.size()) ? s.speedPC : kNoChoice;
    f.report = s.report;
    return f;
}

void chooseLink(SettingsForm& f, int item)
{
    f.link = item;
    applyLink(f);
}

void chooseAvto(SettingsForm& f, bool on)
{
    if (on == f.avto)
        return;
    const std::optional<int> type = channelTypeOfItem(f.link, f.avto, f.variant);
    f.avto = on;
    f.links = linkItems(f.avto, f.variant);
    const LinkKind before = f.kind;
    f.link = type ? linkItemOf(*type, f.avto, f.variant) : 0;
    // The same link in the other layout keeps its fields and speed; only a link that had no
    // item before lands on the first one and needs its fields.
    if (!type || linkKindOf(*type) != before)
        applyLink(f);
}

void chooseVariant(SettingsForm& f, int variant)
{
    f.variant = variant;
    f.links = linkItems(f.avto, f.variant);
    f.link = linkItemOf(f.storedChannelType, f.avto, f.variant);
    applyLink(f);
}

void chooseProtocol(SettingsForm& f, int prot)
{
    f.prot = prot;
    f.crcGroup = f.protocolPanel && f.prot == 1;
    applyNetworkNumberRule(f);
}

void chooseRedial(SettingsForm& f, bool on)
{
    f.redial = on;
    f.minutesShown = on;
}

bool isChoiceGroup(FormField f)
{
    return f == FormField::Port || f == FormField::Speed || f == FormField::Link || f == FormField::Answer
        || f == FormField::Dial;
}

std::optional<int> decimalField(std::string_view text) { return parseDigits(text, 10); }
std::optional<int> hexField(std::string_view text) { return parseDigits(text, 16); }

FormField checkSettingsForm(const SettingsForm& f)
{
    const std::optional<int> setNumber = decimalField(f.setNumber);
    const std::optional<int> multNumb = decimalField(f.multNumb);
    const std::optional<int> codePC = hexField(f.codePC);
    const bool codeAccepted = codePC && *codePC < 0x80;

    if (!inRange(f.port, kPortNames.size()))
        return FormField::Port;
    if (!inRange(f.speed, f.speedList.speeds.size()))
        return FormField::Speed;
    if (!inRange(f.link, f.links.size()))
        return FormField::Link;
    if (f.channelAndAvto && !inRange(f.channel, kChannelCaptions.size()))
        return FormField::Channel;
    if (!setNumber)
        return FormField::SetNumber;
    if (f.multiplexer && !multNumb)
        return FormField::MultNumb;
    if (*setNumber > kMaxSetNumber)
        return FormField::SetNumber;
    if (f.multiplexer && *multNumb > 255)
        return FormField::MultNumb;
    if (f.canBusPanel && !codeAccepted)
        return FormField::CodePC;

    if (isModemLink(f.kind)) {
        if (f.phone.empty())
            return FormField::Phone;
        if (f.inimod.empty())
            return FormField::Inimod;
        if (f.hayesGroups && !inRange(f.answer, 2))
            return FormField::Answer;
        if (f.hayesGroups && !inRange(f.dial, 2))
            return FormField::Dial;
        if (f.redial && !decimalField(f.minutes))
            return FormField::Minutes;
    }
    return FormField::None;
}

void storeSettingsForm(const SettingsForm& f, ChannelSettings& s)
{
    if (isModemLink(f.kind)) {
        s.modem = true;
        if (f.hayesGroups) {
            s.simbol = f.answer == 1;
            s.pulse = f.dial == 0;
        } else {
            // A GSM modem answers in words and dials by tone.
            s.simbol = true;
            s.pulse = false;
        }
        s.phone = text::leftChars(f.phone, 50);
        s.inimod = text::leftChars(f.inimod, 255);
        s.modemMin = f.redial ? decimalField(f.minutes).value_or(0) : 0;
    } else {
        s.modem = false;
        s.modemMin = 0;
    }

    if (inRange(f.port, kPortNames.size()))
        s.port = uint8_t(f.port);
    s.avto = f.avto;
    if (const std::optional<int> type = channelTypeOfItem(f.link, f.avto, f.variant))
        s.channelType = uint8_t(*type);
    if (s.channelType == 6 || s.channelType == 8)
        s.speed = kSpeed9600;   // the port always talks to a modem at 9600 baud
    else if (inRange(f.speed, f.speedList.speeds.size()))
        s.speed = uint8_t(f.speedList.speeds[std::size_t(f.speed)]);
    if (inRange(f.prot, kProtocolCaptions.size()))
        s.prot = uint8_t(f.prot);
    if (inRange(f.crc, kCrcCaptions.size()))
        s.crc = uint8_t(f.crc);
    if (const std::optional<int> n = decimalField(f.setNumber); n && *n <= kMaxSetNumber)
        s.setNumber = uint8_t(*n);
    if (inRange(f.channel, kChannelCaptions.size()))
        s.channel = uint8_t(f.channel);
    // A hidden multiplexer field keeps the stored channel unless it holds a valid one.
    if (const std::optional<int> n = decimalField(f.multNumb); n && *n <= 255)
        s.multNumb = uint8_t(*n);
    if (inRange(f.variant, kModelNames.size()))
        s.blok1 = uint8_t(f.variant);
    const std::optional<int> code = hexField(f.codePC);
    s.codePC = code && *code < 0x80 ? uint8_t(*code) : 0;
    if (inRange(f.canSpeed, kCanSpeedTexts.size()))
        s.speedPC = uint8_t(f.canSpeed);
    s.report = f.report;
}

} // namespace kv
