#pragma once
#include <QDialog>

#include "online/ServiceOperations.h"

class QButtonGroup;
class QDateEdit;
class QGroupBox;
class QSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace kv {

class Workspace;

// The service window: one page per service command, shown modally, sized to its page and
// centred. The work lives in ServiceOperations; the window only collects the password, shows
// the result texts and the progress bar, and turns "Выход" into the stop flag that every wait
// checks.
//
// Pages: 0 failure reset and 2 clock read run as the page opens; 1 speed change, 3 clock set
// and 4 switch to "РАБОТА" run on "Установить".
//
// Plugging it in (the window is created once, like the program's other windows):
//   start of online work:  hooks.runServiceRunPage = [this] { return serviceWindow()->runPage(kServiceRun); };
//   online view's "Сервис": view->setCommandHandler(OnlineCommand::ResetFailures,
//                               [this](int) { serviceWindow()->runPage(kServiceResetFailures); });
//                           view->setCommandHandler(OnlineCommand::ControllerTime,
//                               [this](int) { serviceWindow()->runPage(kServiceReadClock); });
//                           view->setCommandHandler(OnlineCommand::ChangeSpeed,
//                               [this](int) { serviceWindow()->runPage(kServiceChangeSpeed); });
//                           view->setCommandHandler(OnlineCommand::SetTime,
//                               [this](int) { serviceWindow()->runPage(kServiceSetClock); });
class ServiceWindow final : public QDialog {
    Q_OBJECT
public:
    explicit ServiceWindow(Workspace& ws, QWidget* parent = nullptr);

    // Opens the page of `mode` modally; returns when the operator leaves it. True when the
    // page's completion wait saw its command done (in mode 4: the controller in "РАБОТА").
    // In mode 1 true means the new speed was confirmed; in mode 3 that the clock was set.
    // A mode outside 0..4 returns false at once.
    bool runPage(int mode);

    int mode() const { return mode_; }
    ServiceOperations& operations() { return ops_; }

Q_SIGNALS:
    // The open page has done its opening work and waits for the operator.
    void pageReady();

public Q_SLOTS:
    void setClicked();    // "Установить"
    void exitClicked();   // "Выход"
    void reject() override;   // Esc and the close box act as "Выход"

private:
    void activatePage();
    ServiceOperations::Progress progressTo(QProgressBar* bar);
    void showOutcome(QLabel* label, const ServiceOutcome& out);

    Workspace& ws_;
    ServiceOperations ops_;
    int mode_ = kServiceRun;
    bool confirmed_ = false;
    bool running_ = false;

    QWidget* resetPage_;
    QLabel* resetHeading_;
    QLabel* resetResult_;
    QProgressBar* resetBar_;

    QWidget* speedPage_;
    QButtonGroup* speeds_;
    QLabel* speedProgress_;
    QLabel* speedResult_;
    QProgressBar* speedBar_;

    QWidget* clockPage_;
    QLabel* dateText_;
    QLabel* timeText_;
    QLabel* traceText_;

    QWidget* runPage_;
    QGroupBox* passwordBox_;
    QLineEdit* password_;
    QGroupBox* timeBox_;
    QSpinBox* hour_;
    QSpinBox* minute_;
    QGroupBox* dateBox_;
    QDateEdit* date_;
    QLabel* runResult_;
    QLabel* runResult2_;
    QProgressBar* runBar_;
    QPushButton* setButton_;
};

} // namespace kv
