#pragma once
#include <QDialog>

#include <functional>

#include "app/Settings.h"
#include "channels/SettingsForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kv {

class RadioGroup;

// "Настройки последовательного порта и параметров обмена": the serial port, the link, the
// speed, the controller's network number, the protocol and CRC mode, the modem strings and
// redial, the multiplexer channel, the CAN-BUS adapter, the equipment variant and the
// exchange trace. The rules are SettingsForm's; the window shows the form and passes the
// operator's choices on.
//
// Use (the main window's "Последовательный порт"):
//
//     SettingsWindow w(this);            // or one window kept for the whole run
//     if (w.edit(ws.settings())) {       // modal
//         ws.saveSettings();             // then apply the new settings
//     }
//
// edit() shows the settings held in memory and returns true when the operator closed the
// window with "Сохранить": the window's settings have then been written into `s` (port,
// link, speed, network number, channel, multiplexer channel, protocol, CRC, modem flag and
// strings, redial, variant, computer address, CAN-BUS speed, "Avto", "Report"; every other
// member of `s` stays). "Выход", Esc or closing the window return false and leave `s` as it
// was. A save that finds a missing or bad entry keeps the window open: a radio group without
// a choice turns white, any other field gets the focus; no message is shown.
//
// Controls by object name:
//   RadioGroup1 "Последовательный порт"      RadioGroup5 "Тип протокола обмена"
//   RadioGroup2 "Вид связи"                  RadioGroup6 "Контрольная сумма"
//   RadioGroup3 speed                        RadioGroup7 "Ответ Hayes-модема"
//   RadioGroup4 "Тип комплектации ЗЕНТАР"    RadioGroup8 "Набор номера"
//   CheckBox1 wiring detection ("Avto")      CheckBox2 automatic redial
//   CheckBox3 exchange report ("Report")
//   Edit1 network number   Edit2 multiplexer channel   Edit3 phone   Edit4 modem init string
//   Edit5 redial minutes   Edit6 computer address (hex)
//   ComboBox1 controller channel   ComboBox2 CAN-BUS speed
//   Panel1 modem fields   Panel2 protocol and CRC   Panel3 CAN-BUS adapter
//   Button1 "Сохранить"   Button2 "Выход"   StatusBar1 with its text in StatusPanel0
// A radio group's items are its QRadioButton children in item order.
class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    explicit SettingsWindow(QWidget* parent = nullptr);
    ~SettingsWindow() override;

    bool edit(ChannelSettings& s);

    // The steps of edit() for a caller that runs the window itself (tests, a non-modal use):
    // activate() fills the controls from `s`; after the window closes, saved() tells whether
    // "Сохранить" closed it and settings() holds `s` with the save applied.
    void activate(const ChannelSettings& s);
    bool saved() const { return saved_; }
    const ChannelSettings& settings() const { return settings_; }
    const SettingsForm& form() const { return form_; }

private:
    void build();
    void applyTabOrder();
    // Reads the controls that no reaction tracks (texts and plain choices) into the form.
    void collect();
    // Shows the form in the controls; only what differs is touched.
    void render();
    void react(const std::function<void()>& reaction);
    void save();
    void clearMarks();
    QWidget* fieldWidget(FormField f) const;

    SettingsForm form_;
    ChannelSettings settings_;
    bool saved_ = false;

    RadioGroup* portGroup_ = nullptr;
    RadioGroup* linkGroup_ = nullptr;
    RadioGroup* speedGroup_ = nullptr;
    RadioGroup* variantGroup_ = nullptr;
    RadioGroup* protGroup_ = nullptr;
    RadioGroup* crcGroup_ = nullptr;
    RadioGroup* answerGroup_ = nullptr;
    RadioGroup* dialGroup_ = nullptr;
    QCheckBox* avtoBox_ = nullptr;
    QCheckBox* redialBox_ = nullptr;
    QCheckBox* reportBox_ = nullptr;
    QLineEdit* setNumberEdit_ = nullptr;
    QLineEdit* multNumbEdit_ = nullptr;
    QLineEdit* phoneEdit_ = nullptr;
    QLineEdit* inimodEdit_ = nullptr;
    QLineEdit* minutesEdit_ = nullptr;
    QLineEdit* codePCEdit_ = nullptr;
    QComboBox* channelCombo_ = nullptr;
    QComboBox* canSpeedCombo_ = nullptr;
    QLabel* channelLabel_ = nullptr;
    QLabel* multNumbLabel_ = nullptr;
    QLabel* minutesBefore_ = nullptr;
    QLabel* minutesAfter_ = nullptr;
    QWidget* modemPanel_ = nullptr;
    QWidget* protocolPanel_ = nullptr;
    QWidget* canBusPanel_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
};

} // namespace kv
