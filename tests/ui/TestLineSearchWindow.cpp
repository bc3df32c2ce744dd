// "Подбор скорости обмена" from the main window: the search window finds the simulated
// controller's speed and number, shows them, and the main window releases the controller.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "app/ui/MainWindow.h"
#include "channels/ui/LineSearchWindow.h"
#include "protocol/LineControl.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"

using namespace kv;

class TestLineSearchWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void findsTheControllerAndTheMainWindowReleasesIt()
    {
        namespace fs = std::filesystem;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const fs::path folder = test::copyDemoFolder(fs::path(dir.path().toStdString()) / "work");
        sim::VirtualClock clock(text::encodeDate(2026, 12, 11) + 0.5);
        NullEventPump pump;
        test::ScriptedOperator op;
        Workspace ws(folder.string(), clock, pump, op);
        MainWindow win(ws, op);
        win.activateWorkspace();
        auto& s = ws.settings();
        s.channelType = channel::Rs485;
        auto o = sim::stationOptionsFromSettings(s.blok1, 7, s.prot, s.crc, s.channel, s.channelType, s.multNumb,
                                                 (folder / "Sprav.txt").string());
        o.controller.baud = 2400;
        sim::SimPortOpener controller(o, &clock);
        ws.setPortOpener(&controller);
        std::string trace;
        ws.debugLog().setEcho([&](const std::string& l) { trace += l + "\n"; });
        const int attempts = ws.exchange().state().attemptCount;

        QString numberText, speedText, outcome, model, refusal, fieldAfterRefusal;
        bool seen = false;
        QTimer::singleShot(0, &win, [&] {
            auto* w = qobject_cast<LineSearchWindow*>(QApplication::activeModalWidget());
            QVERIFY(w);
            seen = true;
            QCOMPARE(w->windowTitle(), QStringLiteral("Подбор параметров обмена"));
            QCOMPARE(ws.exchange().state().attemptCount, 1);
            auto* field = w->findChild<QLineEdit*>(QStringLiteral("Edit1"));
            QVERIFY(w->findChild<QRadioButton*>(QStringLiteral("RadioDec"))->isChecked());
            QTest::keyClick(field, Qt::Key_A, Qt::NoModifier);
            refusal = w->findChild<QStatusBar*>(QStringLiteral("StatusBar1"))->currentMessage();
            fieldAfterRefusal = field->text();
            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
            numberText = w->findChild<QLabel*>(QStringLiteral("LabelNumber"))->text();
            speedText = w->findChild<QLabel*>(QStringLiteral("LabelSpeed"))->text();
            outcome = w->findChild<QLabel*>(QStringLiteral("LabelOutcome"))->text();
            model = w->findChild<QLabel*>(QStringLiteral("LabelModel"))->text();
            const QByteArray shots = qgetenv("KV_SCREENSHOT_DIR");
            if (!shots.isEmpty())
                w->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/line-search.png"));
            trace.clear();
            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
        });
        win.action(QStringLiteral("actSpeedDetection"))->trigger();

        QVERIFY(seen);
        QCOMPARE(refusal, QStringLiteral("Недопустимый символ  a"));
        QCOMPARE(fieldAfterRefusal, QString());
        QCOMPARE(numberText, QStringLiteral("Сетевой номер  7"));
        QCOMPARE(speedText, QStringLiteral("Скорость обмена   2400 бод"));
        QCOMPARE(outcome, QStringLiteral("OK"));
        QVERIFY2(model.startsWith(QStringLiteral("ЗЕНТАР-17  версия ")), qPrintable(model));
        QCOMPARE(int(s.setNumber), 7);
        QCOMPARE(int(s.speed), 3);
        // The search released the controller it found; closing leaves every number to be
        // tried, so the main window sends the release once more (unanswered by now).
        QVERIFY2(trace.find(">>5") != std::string::npos, trace.c_str());
        QCOMPARE(ws.exchange().state().attemptCount, attempts);
        for (const auto& p : op.problems())
            QFAIL(p.c_str());
    }
};

QTEST_MAIN(TestLineSearchWindow)
#include "TestLineSearchWindow.moc"
