// The modem initialisation window on the offscreen platform, dialling the simulated modem.
// The simulated line comes first: its `emit` must be declared before Qt makes a keyword of it.
#include "channels/TestModemRig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "channels/ModemSession.h"
#include "channels/ui/ModemWindow.h"

using namespace kv;

class TestModemWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    std::unique_ptr<test::ModemRig> rig_;
    sim::Line* line_ = nullptr;
    std::unique_ptr<test::ScriptedOperator> op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<ModemSession> session_;
    std::unique_ptr<ModemWindow> win_;

    template <typename T>
    T* child(const char* name)
    {
        return win_->findChild<T*>(QString::fromLatin1(name));
    }
    QString memo(const char* name) { return child<QPlainTextEdit>(name)->toPlainText(); }

    // Runs `then` once the window's modal loop is running and the events queued before it
    // (a redial's own dial) have been handled.
    void whenShown(std::function<void()> then)
    {
        QTimer::singleShot(0, this, [this, then] { QTimer::singleShot(0, this, then); });
    }

    void shoot(const char* file)
    {
        const QByteArray dir = qgetenv("KV_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            win_->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(file));
    }

private Q_SLOTS:
    void init()
    {
        namespace fs = std::filesystem;
        QVERIFY(dir_.isValid());
        const fs::path folder = fs::path(dir_.path().toStdString()) / "work";
        test::copyDemoFolder(folder);
        rig_ = std::make_unique<test::ModemRig>(channel::Hayes);
        op_ = std::make_unique<test::ScriptedOperator>();
        ws_ = std::make_unique<Workspace>(folder.string(), rig_->clock, rig_->pump, *op_);
        ChannelSettings& s = ws_->settings();
        s.channelType = channel::Hayes;
        s.inimod = "at v0 e0 s7=60";
        s.phone = "123";
        s.simbol = false;
        s.pulse = true;
        line_ = rig_->line.get();
        ws_->setPort(std::move(rig_->line));
        session_ = std::make_unique<ModemSession>(rig_->clock, rig_->pump, ws_->debugLog(), *op_);
        win_ = std::make_unique<ModemWindow>(*ws_, *session_);
    }
    void cleanup()
    {
        win_.reset();
        session_.reset();
        ws_.reset();
        for (const auto& p : op_->problems())
            QFAIL(p.c_str());
    }

    void opensWithTheSettings()
    {
        session_->state().connected = true;
        session_->state().cancel = true;
        win_->prepare();
        QCOMPARE(win_->windowTitle(), QStringLiteral("Инициализация модема"));
        QCOMPARE(child<QLineEdit>("Edit1")->text(), QStringLiteral("AT V0 E0 S7=60"));
        QCOMPARE(child<QLineEdit>("Edit2")->text(), QStringLiteral("123"));
        QVERIFY(child<QRadioButton>("AnswerDigits")->isChecked());
        QVERIFY(child<QRadioButton>("DialPulse")->isChecked());
        QCOMPARE(child<QLabel>("Label1")->text(), QStringLiteral("Строка инициализации модема"));
        QCOMPARE(child<QLabel>("Label2")->text(), QStringLiteral("Номер телефона "));
        QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("после инициализации"));
        QCOMPARE(child<QLabel>("Label4")->text(), QStringLiteral("после набора номера"));
        QCOMPARE(child<QRadioButton>("AnswerWords")->text(), QStringLiteral("Символьный"));
        QCOMPARE(child<QRadioButton>("DialTone")->text(), QStringLiteral("Тональный"));
        QCOMPARE(child<QPushButton>("Button1")->text(), QStringLiteral("Набор"));
        QCOMPARE(child<QPushButton>("Button2")->text(), QStringLiteral("Отказ"));
        QVERIFY(child<QPushButton>("Button1")->isEnabled());
        QCOMPARE(child<QTimer>("Timer1")->interval(), 1000);
        QVERIFY(memo("Memo1").isEmpty());
        QVERIFY(memo("Memo2").isEmpty());
        QVERIFY(!session_->connected());
        QVERIFY(!session_->state().cancel);
    }

    void dialConnectsAndTheTimerClosesTheWindow()
    {
        bool shownAfterDial = false;
        whenShown([&] {
            // The operator's changes hold for this dial only.
            child<QLineEdit>("Edit1")->setText(QStringLiteral("AT V1 E0 S7=60"));
            child<QLineEdit>("Edit2")->setText(QStringLiteral("456"));
            child<QRadioButton>("AnswerWords")->setChecked(true);
            QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton);
            shownAfterDial = win_->isVisible();
            shoot("modem-window.png");
            win_->tick();
        });
        QVERIFY(win_->bringUp());
        QVERIFY(shownAfterDial);
        QVERIFY(!win_->isVisible());
        QVERIFY(session_->connected());
        QCOMPARE(rig_->modem->lastDialled(), std::string("456"));
        QVERIFY(rig_->modem->lastDialPulse());
        QCOMPARE(memo("Memo2"), QStringLiteral("RING CONNECT 9600 "));
        QVERIFY(memo("Memo1").startsWith(QStringLiteral("/( >>")));
        QCOMPARE(ws_->settings().phone, std::string("123"));
        QCOMPARE(ws_->settings().simbol, false);
        QVERIFY(ws_->debugLog().lastLine().ends_with(" : RING CONNECT 9600 "));
    }

    void redialDialsAsSoonAsItOpens()
    {
        session_->state().redialInProgress = true;
        whenShown([&] { win_->tick(); });
        QVERIFY(win_->bringUp());
        QCOMPARE(rig_->modem->calls(), 1);
        QCOMPARE(memo("Memo2"), QStringLiteral("2 12 "));
    }

    void cancelDuringTheDialClosesTheWindow()
    {
        rig_->modem->options().answerMs = 60000;
        bool dialDisabled = false;
        rig_->pump.at(20000, [&] {
            dialDisabled = !child<QPushButton>("Button1")->isEnabled();
            QTest::mouseClick(child<QPushButton>("Button2"), Qt::LeftButton);
        });
        whenShown([&] { QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton); });
        QVERIFY(!win_->bringUp());
        QVERIFY(dialDisabled);
        QVERIFY(session_->state().cancel);
        QVERIFY(!win_->isVisible());
        QCOMPARE(memo("Memo2"), QStringLiteral("Выключено питание модема или выход по запросу оператора"));
    }

    void cancelWithoutADial()
    {
        whenShown([&] { QTest::mouseClick(child<QPushButton>("Button2"), Qt::LeftButton); });
        QVERIFY(!win_->bringUp());
        QVERIFY(session_->state().cancel);
        QCOMPARE(rig_->modem->calls(), 0);
    }

    void silentGsmModemShowsItsMessage()
    {
        ws_->settings().channelType = channel::Gsm;
        rig_->modem->options().silent = true;
        whenShown([&] {
            QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton);
            win_->tick();
            win_->reject();
        });
        QVERIFY(!win_->bringUp());
        QCOMPARE(memo("Memo2"), QStringLiteral("Нет ответа от Gsm-модема "));
    }
};

QTEST_MAIN(TestModemWindow)
#include "TestModemWindow.moc"
