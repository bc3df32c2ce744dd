// The whole program on the demo folder: the main window's "Работа с ЗЕНТАР" against the
// simulated controller, the online view showing its values, a value leaving its bounds.
#include <QAction>
#include <QApplication>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "app/ui/MainWindow.h"
#include "lists/GroupList.h"
#include "lists/ParamGroup.h"
#include "online/OnlineSession.h"
#include "online/ui/OnlineView.h"
#include "sim/Scenario.h"
#include "telecontrol/ui/TeleindicationWindow.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"

using namespace kv;

class TestWholeProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void onlineWorkShowsTheControllersValuesAndTheirAlarm()
    {
        namespace fs = std::filesystem;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const fs::path folder = fs::path(dir.path().toStdString()) / "work";
        test::copyDemoFolder(folder);

        sim::VirtualClock clock(text::encodeDate(2026, 12, 11) + 10.5 / 24);
        NullEventPump pump;
        test::ScriptedOperator op;
        Workspace ws(folder.string(), clock, pump, op);
        MainWindow win(ws, op);
        win.activateWorkspace();

        // The operator's group: the supply temperature with its tolerance band, and the return.
        GroupList list;
        auto g = std::make_unique<ParamGroup>();
        g->setGroup("Тепловой пункт", 1);
        g->addParam(ParamCode4{0x80, 0x01, 0x00, 8}, 0, "Температура подачи, °С");
        g->setBound(0, 0, sim::Scenario::kDemoLow);
        g->setBound(0, 1, sim::Scenario::kDemoHigh);
        g->addParam(ParamCode4{0x80, 0x02, 0x00, 8}, 1, "Температура обратной воды, °С");
        list.append(std::move(g));
        QVERIFY(saveGroups(list, ws.groupFile(), ws.toleranceFile()));

        // The controller on Com1, its supply temperature rising through the band's top.
        const auto& s = ws.settings();
        sim::SimPortOpener controller(sim::stationOptionsFromSettings(s.blok1, s.setNumber, s.prot, s.crc, s.channel,
                                                                      s.channelType, s.multNumb,
                                                                      (folder / "Sprav.txt").string()),
                                      &clock);
        sim::Scenario scenario(controller.station().controller());
        scenario.course(sim::Scenario::kDemoAddress, {{0, 80.0}, {40, 120.0}});
        scenario.install();
        ws.setPortOpener(&controller);

        QString firstValue, lampBefore, lampAfter;
        QStringList violationRows;
        bool teleShown = false;
        bool viewSeen = false;
        QTimer::singleShot(0, &win, [&] {
            auto* view = win.findChild<OnlineView*>();
            QVERIFY(view && view->isVisible());
            viewSeen = true;
            clock.advanceMs(1000);
            view->tickNow();
            firstValue = view->paramTable()->item(0, 1)->text().trimmed();
            lampBefore = QString::fromStdString(lampText(Lamp::Parameters, view->session().lamp(Lamp::Parameters)));
            for (int i = 0; i < 40; ++i) {
                clock.advanceMs(1000);
                view->tickNow();
            }
            lampAfter = QString::fromStdString(lampText(Lamp::Parameters, view->session().lamp(Lamp::Parameters)));
            // A double click on the red lamp lists the entry outside its band.
            QTimer::singleShot(0, view, [&] {
                auto* list = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(list && list->objectName() == QStringLiteral("AViewDop"));
                auto* grid = list->findChild<QTableWidget*>(QStringLiteral("StringGrid1"));
                QVERIFY(grid);
                for (int r = 0; r < grid->rowCount(); ++r)
                    for (int c = 0; c < grid->columnCount(); ++c)
                        if (grid->item(r, c))
                            violationRows << grid->item(r, c)->text();
                list->reject();
            });
            QTest::mouseDClick(view->lampWidget(Lamp::Parameters), Qt::LeftButton);
            // A double click on the telesignal lamp shows the view's teleindication beside it.
            QTest::mouseDClick(view->lampWidget(Lamp::Signals), Qt::LeftButton);
            auto* tele = view->findChild<TeleindicationWindow*>();
            teleShown = tele && tele->isVisible() && !tele->isModal();
            const QByteArray shots = qgetenv("KV_SCREENSHOT_DIR");
            if (!shots.isEmpty())
                view->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/whole-program-online.png"));
            view->reject();
        });
        win.action(QStringLiteral("actWork"))->trigger();

        QVERIFY(viewSeen);
        QVERIFY2(!firstValue.isEmpty() && firstValue != QStringLiteral("..."), qPrintable(firstValue + QStringLiteral(" / ") + QString::fromStdString(op.statuses.empty() ? std::string() : op.statuses.back()) + QStringLiteral(" / ") + QString::number(op.messages.size())));
        QCOMPARE(lampBefore, QString::fromUtf8(kInToleranceText));
        QCOMPARE(lampAfter, QString::fromUtf8(kOutOfToleranceText));
        QVERIFY2(violationRows.join(QLatin1Char('|')).contains(QStringLiteral("Температура подачи")),
                 qPrintable(violationRows.join(QLatin1Char('|'))));
        QVERIFY(!violationRows.join(QLatin1Char('|')).contains(QStringLiteral("обратной")));
        // A second online work on the same line shows fresh values again.
        QString secondValue;
        QTimer::singleShot(0, &win, [&] {
            auto* view = win.findChild<OnlineView*>();
            QVERIFY(view && view->isVisible());
            clock.advanceMs(1000);
            view->tickNow();
            secondValue = view->paramTable()->item(0, 1)->text().trimmed();
            view->reject();
        });
        win.action(QStringLiteral("actWork"))->trigger();
        QVERIFY2(!secondValue.isEmpty() && secondValue != QStringLiteral("..."), qPrintable(secondValue));

        QVERIFY(teleShown);
        QVERIFY(!win.findChild<OnlineView*>()->findChild<TeleindicationWindow*>()->isVisible());
        QCOMPARE(ws.port(), nullptr);   // the online work closed the port
        for (const auto& p : op.problems())
            QFAIL(p.c_str());
    }
};

QTEST_MAIN(TestWholeProgram)
#include "TestWholeProgram.moc"
