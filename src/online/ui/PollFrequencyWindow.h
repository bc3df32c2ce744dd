#pragma once
#include <QDialog>

#include <string>

#include "app/Operator.h"
#include "online/PollFrequency.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kv {

// "Частота опроса ": how often the online view reads the controller's failure page and its
// telesignals, and the wave files of those two alarms. The rules are PollFrequency's.
//
// Use (the main window's "Частота опроса"):
//
//     pollWindow->edit(ws.settings(), ws.bitSignalCount() > 0, ws.folder());
//     ws.checkSoundFiles(2, 3);
//     ws.saveSettings();
//
// edit() is modal and returns true when the settings were saved: "Timotk", "TimTc",
// "Voice2" and "Voice3" of `s` then hold the window's values (nothing else changes). The
// telesignal section is offered only when bit signals are described; without it "TimTc"
// is saved as 10. A period of 0, above 255 or not a number keeps the window open with the
// focus on that field. Closing after typing asks "Сохранить изменения ?".
//
// Controls by object name:
//   CheckBox1 "Периодический опрос страницы отказов "   Label1 "Частота опроса (секунды)"
//   Edit1 failure period   CheckBox2 "Звувой файл"   FilenameEdit1 failure wave file
//   Panel1 telesignal section: Label2, Edit2 telesignal period, CheckBox3 "Звувой файл",
//   FilenameEdit2 telesignal wave file
//   Button1 "Сохранить"   Button2 "Выход"
// A FilenameEdit is a QLineEdit with a browse button.
class PollFrequencyWindow : public QDialog {
    Q_OBJECT
public:
    explicit PollFrequencyWindow(Operator& op, QWidget* parent = nullptr);
    ~PollFrequencyWindow() override;

    bool edit(ChannelSettings& s, bool telesignalsShown, const std::string& folder);

    // The steps of edit() for tests: activate() fills the window; after it closed, saved()
    // tells whether the settings were saved and settings() holds them.
    void activate(const ChannelSettings& s, bool telesignalsShown, const std::string& folder);
    bool saved() const { return saved_; }
    const ChannelSettings& settings() const { return settings_; }

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* fileField(const char* name, QLineEdit*& edit);
    void updateVisibility();
    bool save();
    // The close with the question; false keeps the window open.
    bool mayClose();
    void browse(QLineEdit* edit);

    Operator& op_;
    ChannelSettings settings_;
    std::string folder_;
    bool telesignalsShown_ = false;
    bool changed_ = false;
    bool saved_ = false;

    QCheckBox* failureBox_ = nullptr;
    QLabel* failureLabel_ = nullptr;
    QLineEdit* failureEdit_ = nullptr;
    QCheckBox* failureSoundBox_ = nullptr;
    QWidget* failureFile_ = nullptr;
    QLineEdit* failureFileEdit_ = nullptr;
    QWidget* telesignalPanel_ = nullptr;
    QLineEdit* telesignalEdit_ = nullptr;
    QCheckBox* telesignalSoundBox_ = nullptr;
    QWidget* telesignalFile_ = nullptr;
    QLineEdit* telesignalFileEdit_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
};

} // namespace kv
