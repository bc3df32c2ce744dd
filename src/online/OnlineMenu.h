#pragma once
#include <string>
#include <vector>

// The online view's menu as data: captions, which items the rules of the moment show, and
// which items suspend the view's polls (per channel type) and its automatic redial while their
// window is open. The window builds its menu bar from the table, so the rules are tested
// without a window.

namespace kv {

enum class OnlineCommand {
    None,                 // a menu or submenu
    SoundToggle,          // "Выключить звук" / "Включить звук"
    ChoosePrinter,        // "Выбор принтера" (the displayed group)
    PrintDocument,        // "Печать документа" (the displayed group)
    Exit,                 // "Выход"
    Teleindication,       // "Телеиндикация", modal
    ControllerTime,       // "Текущее время ЗЕНТАР"
    ReadParameter,        // "Чтение параметра"
    FailurePage,          // "Страница отказов"
    FailureHistory,       // "История отказов"
    FailurePrintChoose,   // "Печать отказов" / "Выбор принтера"
    FailurePrintDocument, // "Печать отказов" / "Печать документа"
    Archives,             // "Архивы"
    DescriptorsHourly, DescriptorsDaily, DescriptorsMonthly, DescriptorsInterval,
    IntervalArchive,      // "Архив интервалов" (a plain item: not the extended model)
    ExtendedArchives,     // "Расширенные архивы"
    AuxiliaryArchive,     // "Вспомогательный архив"
    Extremes,             // "Экстремумы"
    ResetFailures,        // "Сброс отказов"
    ChangeSpeed,          // "Изменить скорость"
    SetTime,              // "Установить время"
    EnteredSensors,       // "Датчик с вводимым значением"
    Help,                 // "Помощь"
    // Not in the menu: double clicks on the lamps.
    ToleranceViolations,  // the parameters lamp: the tolerance-violation window
    FailureLampBlock,     // the block-failure lamp: the failure window at the block page
    FailureLampSensor,    // the sensor-failure lamp: the failure window at the sensor page
    TeleindicationLamp,   // the telesignal lamp: the teleindication window, not blocking
};

// When an item is shown.
enum class OnlineShow {
    Always,
    BitSignals,          // bit-signal descriptions exist
    FailureTexts,        // the failure texts are loaded
    ExtendedModel,       // model index 2 or 3
    NotExtendedModel,
    ExtendedSerial,      // extended model and channel type 0..10
    SerialChannel,       // channel type 0..10 (the whole "Сервис" menu)
    SpeedChange,         // "Blok1" not 3, channel type not 6 or 8, traditional protocol
};

struct OnlineMenuEntry {
    std::string id;        // object name of the action or menu
    std::string caption;
    int level = 0;         // 0 menu bar, 1 item of a menu, 2 item of a submenu
    OnlineCommand command = OnlineCommand::None;
    OnlineShow show = OnlineShow::Always;
};

// Top to bottom, menus before their items.
const std::vector<OnlineMenuEntry>& onlineMenuTable();

// What decides the visibility rules.
struct OnlineMenuFacts {
    int channelType = 0;
    int protocol = 0;          // "Prot"
    int configuredModel = 0;   // "Blok1"
    int modelIndex = 0;        // as read when online work started
    bool bitSignals = false;
    bool failureTexts = false;
};

bool isExtendedModel(int modelIndex);
bool shown(OnlineShow rule, const OnlineMenuFacts& facts);

// Whether the window of a command clears the poll-allowed flag while it is open on this
// channel type, and whether it holds the automatic redial off.
bool suspendsPolls(OnlineCommand command, int channelType);
bool suspendsRedial(OnlineCommand command);
// Commands whose windows open only while the online flag is on; otherwise they do nothing.
bool needsOnlineFlag(OnlineCommand command);

inline constexpr const char* kOnlineViewCaption = "Стандартный просмотр групповых параметров";
inline constexpr const char* kFailurePageCaption = "Чтение страницы отказов ЗЕНТАР";
inline constexpr const char* kFailureStackCaption = "Чтение стека отказов ЗЕНТАР";
inline constexpr const char* kNoReportBlanksMessage = "Не созданы бланки отчетов";
inline constexpr const char* kNoGroupsPrintMessage =
    "Вывод документа на печать производиться не будет - не заданы групповые параметры опроса";

} // namespace kv
