#include "app/MainMenu.h"

namespace kv {

const std::vector<MenuEntry>& mainMenuTable()
{
    using C = MenuCommand;
    static const std::vector<MenuEntry> table = {
        {"menuSettings", "Настройки ", 0, 7},
        {"actSerialPort", "Последовательный порт", 1, 8, C::SerialPortSettings},
        {"menuDefinitions", "Определение параметров", 1, 9},
        {"actParamLists", "Ввод списков парметров", 2, 0, C::ParamLists},
        {"actTolerance", "Границы допуска", 2, 41, C::ToleranceBounds},
        {"menuReportForms", "Отчетные формы", 1, 11},
        {"actReportForms", "Создание отчетных форм", 2, 11, C::ReportForms},
        {"actReportTitles", "Заголовки отчетов ", 2, 13, C::ReportTitles},
        {"sepTest", "", 2, 0, C::None, true},
        {"actReportTest", "Тест", 2, 0, C::ReportTest},
        {"actBitSignals", "Описание битовых сигналов", 1, 14, C::BitSignals},
        {"actTelecontrol", "Команды телеуправления", 1, 16, C::TelecontrolCommands},
        {"menuDescriptors", "Просмотр  описателей архивов", 1, 18},
        {"actDescrHourly", "Часовой", 2, 18, C::DescriptorsHourly},
        {"actDescrDaily", "Суточный", 2, 18, C::DescriptorsDaily},
        {"actDescrMonthly", "Месячный", 2, 18, C::DescriptorsMonthly},
        {"actDescrInterval", "Интервалов", 2, 18, C::DescriptorsInterval},
        {"actPollFrequency", "Частота опроса", 1, 42, C::PollFrequency},
        {"actSensorNames", "Ввод названий условных датчиков", 1, 43, C::SensorNames},
        {"sepExit", "", 1, 0, C::None, true},
        {"actExit", "Выход", 1, 1, C::Exit},
        {"menuExchange", "Обмен", 0, 19},
        {"actWork", "Работа с ЗЕНТАР", 1, 20, C::WorkWithController},
        {"actTeleindication", "Телеиндикация", 1, 0, C::Teleindication},
        {"sepSpeed", "", 1, 0, C::None, true},
        {"actSpeedDetection", "Подбор скорости обмена", 1, 37, C::SpeedDetection},
        {"sepHayes", "", 1, 0, C::None, true},
        {"actEndHayes", "Закончить обмен по Hayes-модему", 1, 38, C::EndHayesExchange},
        {"actUsbFlash", "Чтение данных с USB-flash", 0, 0, C::UsbFlashRead},
        {"menuHelp", "Помощь", 0, 1},
        {"actHelpContents", "Содержание", 1, 0, C::HelpContents},
        {"actAbout", "Информация", 1, 0, C::About},
    };
    return table;
}

bool speedDetectionEnabledAtActivation(int channelType) { return channelType < 6; }

bool speedDetectionEnabledAfterSettings(int channelType)
{
    return channelType != 4 && channelType != 5 && channelType != 8 && channelType != 11;
}

} // namespace kv
