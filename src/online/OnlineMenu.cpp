#include "online/OnlineMenu.h"

namespace kv {

using C = OnlineCommand;
using S = OnlineShow;

const std::vector<OnlineMenuEntry>& onlineMenuTable()
{
    static const std::vector<OnlineMenuEntry> table = {
        {"menuFile", "Файл", 0, C::None, S::Always},
        {"actSound", "Выключить звук", 1, C::SoundToggle, S::Always},
        {"actPrinter", "Выбор принтера", 1, C::ChoosePrinter, S::Always},
        {"actPrint", "Печать документа", 1, C::PrintDocument, S::Always},
        {"actExit", "Выход", 1, C::Exit, S::Always},
        {"actTeleindication", "Телеиндикация", 0, C::Teleindication, S::BitSignals},
        {"menuExtra", "Дополнительно", 0, C::None, S::Always},
        {"actControllerTime", "Текущее время ЗЕНТАР", 1, C::ControllerTime, S::Always},
        {"actReadParameter", "Чтение параметра", 1, C::ReadParameter, S::Always},
        {"menuFailures", "Просмотр отказов ", 1, C::None, S::FailureTexts},
        {"actFailurePage", "Страница отказов", 2, C::FailurePage, S::FailureTexts},
        {"actFailureHistory", "История отказов", 2, C::FailureHistory, S::FailureTexts},
        {"menuFailurePrint", "Печать отказов", 1, C::None, S::FailureTexts},
        {"actFailurePrinter", "Выбор принтера", 2, C::FailurePrintChoose, S::FailureTexts},
        {"actFailurePrint", "Печать документа", 2, C::FailurePrintDocument, S::FailureTexts},
        {"actArchives", "Архивы", 1, C::Archives, S::Always},
        {"menuDescriptors", "Чтение описателей архивов", 1, C::None, S::Always},
        {"actDescrHourly", "Часовые", 2, C::DescriptorsHourly, S::Always},
        {"actDescrDaily", "Суточные", 2, C::DescriptorsDaily, S::Always},
        {"actDescrMonthly", "Месячные", 2, C::DescriptorsMonthly, S::Always},
        {"actDescrInterval", "Интервалов", 2, C::DescriptorsInterval, S::ExtendedModel},
        {"actIntervalArchive", "Архив интервалов", 1, C::IntervalArchive, S::NotExtendedModel},
        {"menuIntervalArchives", "Архив интервалов", 1, C::None, S::ExtendedModel},
        {"actExtendedArchives", "Расширенные архивы", 2, C::ExtendedArchives, S::ExtendedModel},
        {"actAuxiliaryArchive", "Вспомогательный архив", 2, C::AuxiliaryArchive, S::ExtendedSerial},
        {"actExtremes", "Экстремумы", 1, C::Extremes, S::Always},
        {"menuService", "Сервис", 0, C::None, S::SerialChannel},
        {"actResetFailures", "Сброс отказов", 1, C::ResetFailures, S::Always},
        {"actChangeSpeed", "Изменить скорость", 1, C::ChangeSpeed, S::SpeedChange},
        {"actSetTime", "Установить время", 1, C::SetTime, S::Always},
        {"actEnteredSensors", "Датчик с вводимым значением", 1, C::EnteredSensors, S::ExtendedModel},
        {"actHelp", "Помощь", 0, C::Help, S::Always},
    };
    return table;
}

bool isExtendedModel(int modelIndex) { return modelIndex == 2 || modelIndex == 3; }

bool shown(OnlineShow rule, const OnlineMenuFacts& f)
{
    const bool serial = f.channelType >= 0 && f.channelType <= 10;
    switch (rule) {
    case S::Always: return true;
    case S::BitSignals: return f.bitSignals;
    case S::FailureTexts: return f.failureTexts;
    case S::ExtendedModel: return isExtendedModel(f.modelIndex);
    case S::NotExtendedModel: return !isExtendedModel(f.modelIndex);
    case S::ExtendedSerial: return isExtendedModel(f.modelIndex) && serial;
    case S::SerialChannel: return serial;
    case S::SpeedChange:
        return f.configuredModel != 3 && f.channelType != 6 && f.channelType != 8 && f.protocol == 0;
    }
    return false;
}

bool suspendsPolls(OnlineCommand c, int ct)
{
    const bool gsm = ct == 8;
    const bool gsmOrCan = ct == 8 || ct == 11 || ct == 12;
    switch (c) {
    case C::ControllerTime:
    case C::ReadParameter:
    case C::FailurePage:
    case C::Archives:
    case C::DescriptorsHourly:
    case C::DescriptorsDaily:
    case C::DescriptorsMonthly:
    case C::DescriptorsInterval:
    case C::IntervalArchive:
    case C::ExtendedArchives:
    case C::AuxiliaryArchive:
    case C::Extremes:
        return gsmOrCan;
    case C::FailureHistory:
    case C::FailurePrintChoose:
    case C::FailurePrintDocument:
    case C::ResetFailures:
    case C::ChangeSpeed:
    case C::SetTime:
    case C::EnteredSensors:
    case C::FailureLampBlock:
    case C::FailureLampSensor:
        return gsm;
    default:
        return false;
    }
}

bool suspendsRedial(OnlineCommand c)
{
    switch (c) {
    case C::None:
    case C::SoundToggle:
    case C::Exit:
    case C::Help:
    case C::FailureLampBlock:
    case C::FailureLampSensor:
    case C::TeleindicationLamp:
    case C::ToleranceViolations:   // not a menu window
        return false;
    default:
        return true;
    }
}

bool needsOnlineFlag(OnlineCommand c)
{
    switch (c) {
    case C::ControllerTime:
    case C::ReadParameter:
    case C::FailurePage:
    case C::FailureHistory:
    case C::FailureLampBlock:
    case C::FailureLampSensor:
    case C::DescriptorsHourly:
    case C::DescriptorsDaily:
    case C::DescriptorsMonthly:
    case C::DescriptorsInterval:
    case C::ResetFailures:
    case C::ChangeSpeed:
    case C::SetTime:
    case C::EnteredSensors:
        return true;
    default:
        return false;
    }
}

} // namespace kv
