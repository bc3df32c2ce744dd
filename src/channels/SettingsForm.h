#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Settings.h"

// What the channel and line settings window decides, kept apart from the window: which
// links and speeds it offers, which fields each link needs, how a choice in one field
// changes the others, what a save accepts and how the choices become ChannelSettings.
// The window shows a SettingsForm, hands the operator's choices to the reactions below
// and shows the form again; every rule lives here.

namespace kv {

// The kind of link. It decides which fields the window shows. The values are the item
// positions in the short link list (the one without wiring detection).
enum class LinkKind {
    Rs232 = 0,
    Irps = 1,
    Ism1200 = 2,
    Hayes = 3,
    Multiplexer = 4,
    Rs485Plus = 5,
    Gsm = 6,
    CanBus = 7,
};

// One item of the "Вид связи" list and the channel type it stands for.
struct LinkItem {
    std::string_view text;
    int channelType;
    bool operator==(const LinkItem&) const = default;
};

// The equipment variant that has a CAN-BUS interface ("ЗЕНТАР - 10 / 17").
constexpr int kCanBusVariant = 3;

// "Вид связи": the short list, or with wiring detection ("Avto") the long one that names
// two- and four-wire lines apart. "Can-Bus" closes the list for the CAN-BUS variant only.
std::vector<LinkItem> linkItems(bool avto, int variant);
// The item that shows a channel type. Two- and four-wire types share one short-list item;
// the types the window does not offer (3, 5, 12, and 11 without the CAN-BUS variant) show
// as the first item.
int linkItemOf(int channelType, bool avto, int variant);
// The channel type an item stands for: the first type 0..11 the item shows; none for an
// item that is not in the list.
std::optional<int> channelTypeOfItem(int item, bool avto, int variant);
LinkKind linkKindOf(int channelType);
// The derived "Modem" flag: the link dials a Hayes or GSM modem.
inline bool isModemLink(LinkKind k) { return k == LinkKind::Hayes || k == LinkKind::Gsm; }

// The speeds offered for a link kind and the caption over them.
struct SpeedList {
    std::string_view caption;
    std::vector<int> speeds;   // the speed index each item stands for, in item order
    bool operator==(const SpeedList&) const = default;
};
SpeedList speedListFor(LinkKind k);

constexpr int kNoChoice = -1;

// Everything the window's controls hold. Choices are item positions, kNoChoice when
// nothing is selected; edit fields are their texts as typed.
struct SettingsForm {
    int port = kNoChoice;        // "Последовательный порт"
    int variant = kNoChoice;     // "Тип комплектации ЗЕНТАР", the "Blok1" index
    bool avto = false;           // wiring detection, selects the long link list
    std::vector<LinkItem> links;
    int link = kNoChoice;        // item of `links`
    SpeedList speedList;
    int speed = kNoChoice;       // item of `speedList`
    int channel = kNoChoice;     // "Тип канала подключения контроллера"
    int prot = kNoChoice;        // "Тип протокола обмена"
    int crc = kNoChoice;         // "Контрольная сумма"
    int answer = kNoChoice;      // "Ответ Hayes-модема": 0 digit codes, 1 words
    int dial = kNoChoice;        // "Набор номера": 0 pulse, 1 tone
    bool redial = false;         // automatic redial after the link drops
    int canSpeed = kNoChoice;    // "SpeedPC" item
    bool report = false;         // the trace also goes to a dated file

    std::string setNumber;       // decimal
    std::string multNumb;        // decimal
    std::string phone;
    std::string inimod;
    std::string minutes;         // decimal, redial delay
    std::string codePC;          // hexadecimal

    // What the window shows, derived by the reactions.
    LinkKind kind = LinkKind::Rs232;
    bool setNumberReadOnly = false;
    bool modemPanel = false;     // phone, initialisation string, redial
    bool hayesGroups = false;    // answer type and dial mode (Hayes only)
    bool minutesShown = false;   // the redial minutes, while redial is on
    bool multiplexer = false;    // "Номер канала мультиплексора"
    bool protocolPanel = false;  // protocol and CRC
    bool crcGroup = false;
    bool channelAndAvto = false; // the channel drop-down and the wiring-detection box
    bool canBusPanel = false;    // CAN-BUS speed and computer address

    // The settings the window was opened with: a change of variant returns to the stored
    // link, a change of link to the stored speed.
    int storedChannelType = 0;
    int storedSpeed = 5;
};

// The form for the settings in memory (the window's activation).
SettingsForm loadSettingsForm(const ChannelSettings& s);

// Reactions to the operator's choices.
void chooseLink(SettingsForm& f, int item);
void chooseAvto(SettingsForm& f, bool on);
void chooseVariant(SettingsForm& f, int variant);
void chooseProtocol(SettingsForm& f, int prot);
void chooseRedial(SettingsForm& f, bool on);

// The field a save stops at.
enum class FormField {
    None,
    Port,
    Speed,
    Link,
    Channel,
    SetNumber,
    MultNumb,
    CodePC,
    Phone,
    Inimod,
    Answer,
    Dial,
    Minutes,
};
// A missing choice in a radio group is shown by marking the group; the other fields get
// the focus.
bool isChoiceGroup(FormField f);

// The controller's network number: the configuration keeps 0..127 (it reads anything
// larger as 0), so the window accepts no more.
constexpr int kMaxSetNumber = 127;

// The first field that keeps the form from being saved, in the order the window checks
// them; FormField::None when the form can be saved.
FormField checkSettingsForm(const SettingsForm& f);
// Writes the form into the settings the window edits and leaves every other setting as
// it is. Only for a form that checkSettingsForm accepted.
void storeSettingsForm(const SettingsForm& f, ChannelSettings& s);

// A decimal field's value; none when it is empty, holds anything but digits or exceeds
// 32 bits.
std::optional<int> decimalField(std::string_view text);
// A hexadecimal field's value under the same rules.
std::optional<int> hexField(std::string_view text);

} // namespace kv
