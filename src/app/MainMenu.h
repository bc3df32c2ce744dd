#pragma once
#include <string>
#include <vector>

// The main window's menu as data: captions, help contexts, and which items are shown or
// enabled. The window builds its menu bar from this table and applies `MenuState`, so the
// rules can be tested without a window.

namespace kv {

enum class MenuCommand {
    None,               // a submenu or a separator
    SerialPortSettings, // "Последовательный порт"
    ParamLists,         // "Ввод списков парметров"
    ToleranceBounds,    // "Границы допуска"
    ReportForms,        // "Создание отчетных форм"
    ReportTitles,       // "Заголовки отчетов "
    ReportTest,         // "Тест"
    BitSignals,         // "Описание битовых сигналов"
    TelecontrolCommands,// "Команды телеуправления"
    DescriptorsHourly, DescriptorsDaily, DescriptorsMonthly, DescriptorsInterval,
    PollFrequency,      // "Частота опроса"
    SensorNames,        // "Ввод названий условных датчиков"
    Exit,               // "Выход"
    WorkWithController, // "Работа с ЗЕНТАР"
    Teleindication,     // "Телеиндикация"
    SpeedDetection,     // "Подбор скорости обмена"
    EndHayesExchange,   // "Закончить обмен по Hayes-модему"
    UsbFlashRead,       // "Чтение данных с USB-flash"
    HelpContents,       // "Содержание"
    About,              // "Информация"
};

struct MenuEntry {
    std::string id;        // object name of the action or menu, stable for tests
    std::string caption;   // empty for a separator
    int level = 0;         // 0 = menu bar, 1 = item of a menu, 2 = item of a submenu
    int helpContext = 0;   // 0 = none
    MenuCommand command = MenuCommand::None;
    bool separator = false;
};

// Top to bottom, menus before their items.
const std::vector<MenuEntry>& mainMenuTable();

// What the rules of the moment show or enable.
struct MenuState {
    bool workWithControllerVisible = false;  // reference file loaded
    bool teleindicationVisible = true;       // reference file not loaded
    bool telecontrolVisible = true;          // channel types below 11
    bool intervalsVisible = false;           // model index above 1
    bool sensorNamesVisible = false;         // model index above 1
    bool modemItemsVisible = false;          // a modem is used
    bool endHayesEnabled = false;            // the modem link is up
    bool speedDetectionEnabled = true;
    bool usbFlashVisible = false;            // report blanks exist
};

// "Подбор скорости обмена" at activation: channel types below 6.
bool speedDetectionEnabledAtActivation(int channelType);
// ... and after the settings window: every type except 4, 5, 8 and 11.
bool speedDetectionEnabledAfterSettings(int channelType);

constexpr const char* kProgramCaption = "КВАРНИК";
constexpr const char* kProgramVersion = "5.29";
constexpr int kMainWindowHelp = 2;

} // namespace kv
