// The service window driven as the operator drives it, on the offscreen platform, against the
// simulated controller in virtual time.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QDateEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <memory>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "online/ui/ServiceWindow.h"
#include "platform/QtEventPump.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"

using namespace kv;

class TestServiceWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    std::unique_ptr<sim::VirtualClock> clock_;
    QtEventPump pump_;
    std::unique_ptr<test::ScriptedOperator> op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    std::unique_ptr<ServiceWindow> win_;

    template <class T>
    T* get(const char* name)
    {
        T* w = win_->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    void click(const char* name) { QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton); }
    // Runs `act` once the page is open and has done its opening work; a failed check inside
    // still closes the window. Returns the page's result.
    bool openPage(int mode, std::function<void()> act)
    {
        connect(
            win_.get(), &ServiceWindow::pageReady, this,
            [this, act] {
                act();
                if (win_->isVisible())
                    win_->reject();
            },
            Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return win_->runPage(mode);
    }
    sim::Controller& controller() { return sim_->station().controller(); }

private Q_SLOTS:
    void init()
    {
        namespace fs = std::filesystem;
        QVERIFY(dir_.isValid());
        const fs::path folder = fs::path(dir_.path().toStdString()) / "work";
        test::copyDemoFolder(folder);
        clock_ = std::make_unique<sim::VirtualClock>(text::encodeDate(2026, 12, 11) + 10.5 / 24);
        op_ = std::make_unique<test::ScriptedOperator>();
        ws_ = std::make_unique<Workspace>(folder.string(), *clock_, pump_, *op_);
        ws_->activate();
        const auto& s = ws_->settings();
        auto o = sim::stationOptionsFromSettings(ws_->modelIndex, s.setNumber, s.prot, s.crc, s.channel, s.channelType,
                                                 s.multNumb, (folder / "Sprav.txt").string());
        o.controller.state = sim::RunState::Stop;
        sim_ = std::make_unique<sim::SimPortOpener>(o, clock_.get());
        ws_->setPortOpener(sim_.get());
        QVERIFY(ws_->openPort());
        QVERIFY(ws_->connect());
        win_ = std::make_unique<ServiceWindow>(*ws_);
    }
    void cleanup()
    {
        win_.reset();
        ws_.reset();
        sim_.reset();
        for (const auto& p : op_->problems())
            QFAIL(p.c_str());
    }

    void runPageSwitchesTheControllerAndConfirms()
    {
        const bool confirmed = openPage(kServiceRun, [this] {
            QCOMPARE(win_->windowTitle(), QStringLiteral("Первести ЗЕНТАР в режим РАБОТА"));
            QCOMPARE(get<QLineEdit>("Edit1")->text(), QStringLiteral("0000"));
            QVERIFY(!get<QProgressBar>("ProgressBar3")->isVisible());
            QVERIFY(!get<QWidget>("Panel1")->isVisible());
            click("Button6");
            QCOMPARE(get<QLabel>("Label5")->text(), QStringLiteral("Выполнено"));
            QVERIFY(get<QProgressBar>("ProgressBar3")->isVisible());
            win_->grab().save(dir_.filePath(QStringLiteral("service_run.png")));
            if (qEnvironmentVariableIsSet("KV_SCREENSHOT_DIR"))
                win_->grab().save(qEnvironmentVariable("KV_SCREENSHOT_DIR") + QStringLiteral("/service_run.png"));
            click("Button7");
        });
        QVERIFY(confirmed);
        QCOMPARE(int(controller().state()), int(sim::RunState::Work));
        QVERIFY(!win_->isVisible());
    }

    void wrongPasswordOrDeadLineIsNotConfirmed()
    {
        const bool confirmed = openPage(kServiceRun, [this] {
            // The controller refuses the wrong password: message box, no RUN command.
            controller().setPassword(0x1234);
            get<QLineEdit>("Edit1")->setText(QStringLiteral("12"));
            op_->expectMessage("Задан неверный пароль доступа ");
            click("Button6");
            QCOMPARE(get<QLabel>("Label5")->text(), QString());
            QCOMPARE(int(controller().state()), int(sim::RunState::Stop));
            // The right one on a line that has gone dead: the command's own message.
            get<QLineEdit>("Edit1")->setText(QStringLiteral("1234"));
            sim_->station().faults().arm(sim::Fault::NoAnswer, sim::Faults::kUntilCleared);
            click("Button6");
            QCOMPARE(get<QLabel>("Label5")->text(), QString::fromStdString(exchangeMessage(xr::NoAnswer)));
            sim_->station().faults().clearAll();
            click("Button7");
        });
        QVERIFY(!confirmed);
    }

    void exitDuringTheWaitEndsThePage()
    {
        controller().setState(sim::RunState::Restart);   // stays there: no RUN completes it
        const bool confirmed = openPage(kServiceRun, [this] {
            sim_->station().faults().clearAll();
            get<QLineEdit>("Edit1")->setText(QStringLiteral("FFFF"));
            QTimer::singleShot(0, this, [this] { click("Button7"); });
            click("Button6");
            QCOMPARE(get<QLabel>("Label5")->text(), QString());
        });
        QVERIFY(!confirmed);
        QCOMPARE(op_->busyDepth, 0);
    }

    void resetPageWorksAsItOpens()
    {
        const bool confirmed = openPage(kServiceResetFailures, [this] {
            QCOMPARE(win_->windowTitle(), QStringLiteral("Сброс накопленных отказов ЗЕНТАР"));
            QCOMPARE(get<QLabel>("Label2")->text(), QStringLiteral("Выполнено"));
            QVERIFY(!get<QWidget>("Panel4")->isVisible());
            click("Button1");
        });
        QVERIFY(confirmed);
    }

    void clockPageShowsTheControllerTime()
    {
        controller().setDateTime(text::encodeDate(2026, 5, 1) + text::encodeTime(23, 59, 0));
        openPage(kServiceReadClock, [this] {
            QCOMPARE(win_->windowTitle(), QStringLiteral("Чтение текущего времени ЗЕНТАР"));
            QCOMPARE(get<QLabel>("Label7")->text(), QStringLiteral("1  мая  2026  года"));
            QCOMPARE(get<QLabel>("Label8")->text(), QStringLiteral("23  часов  59  минут"));
            if (qEnvironmentVariableIsSet("KV_SCREENSHOT_DIR"))
                win_->grab().save(qEnvironmentVariable("KV_SCREENSHOT_DIR") + QStringLiteral("/service_clock.png"));
            click("Button5");
        });
    }

    void speedPagePreselectsTheConfiguredSpeedAndChangesIt()
    {
        ws_->settings().speed = 9;   // 57600: above what the page offers
        const bool confirmed = openPage(kServiceChangeSpeed, [this] {
            QCOMPARE(win_->windowTitle(), QStringLiteral("Изменить скорость обмена с ЗЕНТАР"));
            const auto items = get<QWidget>("RadioGroup1")->findChildren<QRadioButton*>();
            QCOMPARE(items.size(), 7);
            QRadioButton* checked = nullptr;
            for (auto* r : items)
                if (r->isChecked())
                    checked = r;
            QVERIFY(checked);
            QCOMPARE(checked->text(), QStringLiteral("19200 бод "));
            ws_->settings().speed = 5;   // back to the line the controller is on
            for (auto* r : items)
                if (r->text() == QStringLiteral("  4800 бод"))
                    r->setChecked(true);
            click("Button2");
            QCOMPARE(get<QLabel>("Label3")->text(), QStringLiteral("Перевод на скорость   4800 бод"));
            QCOMPARE(get<QLabel>("Label4")->text(), QStringLiteral("  OK"));
            if (qEnvironmentVariableIsSet("KV_SCREENSHOT_DIR"))
                win_->grab().save(qEnvironmentVariable("KV_SCREENSHOT_DIR") + QStringLiteral("/service_speed.png"));
            click("Button3");
        });
        QVERIFY(confirmed);
        QCOMPARE(int(ws_->settings().speed), 4);
        QCOMPARE(ws_->port()->params().baud, 4800);
        QCOMPARE(controller().baud(), 4800);
    }

    void clockSetPageSetsTheControllerClock()
    {
        const bool confirmed = openPage(kServiceSetClock, [this] {
            QCOMPARE(win_->windowTitle(), QStringLiteral("Установить время ЗЕНТАР"));
            auto* hour = get<QSpinBox>("SpinEdit1");
            auto* minute = get<QSpinBox>("SpinEdit2");
            QCOMPARE(hour->value(), 10);   // the computer's time
            QCOMPARE(minute->value(), 30);
            QVERIFY(get<QWidget>("GroupBox2")->isVisible());
            minute->setValue(59);
            minute->stepBy(1);
            QCOMPARE(minute->value(), 0);
            minute->stepBy(-1);
            QCOMPARE(minute->value(), 59);
            hour->setValue(0);
            hour->stepBy(-1);
            QCOMPARE(hour->value(), 23);
            get<QDateEdit>("DateTimePicker1")->setDate(QDate(2027, 1, 2));
            click("Button6");
            QCOMPARE(get<QLabel>("Label5")->text(), QStringLiteral("2  января  2027  года"));
            QCOMPARE(get<QLabel>("Label6")->text(), QStringLiteral("23  часов  59  минут"));
            if (qEnvironmentVariableIsSet("KV_SCREENSHOT_DIR"))
                win_->grab().save(qEnvironmentVariable("KV_SCREENSHOT_DIR") + QStringLiteral("/service_setclock.png"));
            click("Button7");
        });
        QVERIFY(confirmed);
    }
};

QTEST_MAIN(TestServiceWindow)
#include "TestServiceWindow.moc"
