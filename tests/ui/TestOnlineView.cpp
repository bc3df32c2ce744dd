// The online view on the offscreen platform, polling the simulated controller in virtual time:
// layout, values, lamps and their texts, menu rules, double clicks, sound switch, close.
// With KV_SCREENSHOT_DIR set it leaves pictures of the view, normal and in alarm.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <filesystem>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "lists/GroupList.h"
#include "online/ui/OnlineView.h"
#include "sim/Scenario.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"

using namespace kv;

class TestOnlineView : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    std::unique_ptr<sim::VirtualClock> clock_;
    NullEventPump pump_;
    std::unique_ptr<test::ScriptedOperator> op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    std::unique_ptr<sim::Scenario> scenario_;
    GroupList groups_;
    BitSignalTable signals_;
    ModemState modem_;
    std::unique_ptr<OnlineView> view_;

    void addGroup(const std::string& name, int period,
                  const std::vector<std::tuple<uint8_t, uint8_t, uint8_t, std::string, double, double>>& entries)
    {
        auto g = std::make_unique<ParamGroup>();
        g->setGroup(name, period);
        for (const auto& [cls, num, idx, title, lo, hi] : entries) {
            g->addParam(ParamCode4{cls, num, idx, 8}, -1, title);
            g->setBound(g->count() - 1, 0, lo);
            g->setBound(g->count() - 1, 1, hi);
        }
        groups_.append(std::move(g));
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i) {
            clock_->advanceMs(1000);
            view_->tickNow();
        }
        QCoreApplication::processEvents();
    }
    void shot(const char* name)
    {
        const QByteArray dir = qgetenv("KV_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(view_->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name)));
    }
    QString cell(int row, int col) const { return view_->paramTable()->item(row, col)->text(); }

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
        auto& s = ws_->settings();
        s.timotk = 5;
        s.timTc = 2;
        s.avarYes = true;
        sim_ = std::make_unique<sim::SimPortOpener>(
            sim::stationOptionsFromSettings(ws_->modelIndex, s.setNumber, s.prot, s.crc, s.channel, s.channelType,
                                            s.multNumb, (folder / "Sprav.txt").string()),
            clock_.get());
        ws_->setPortOpener(sim_.get());
        QVERIFY(ws_->openPort());
        QVERIFY(ws_->connect());

        groups_.clear();
        addGroup("Тепловой пункт, ввод 1", 1,
                 {{0x80, 0x01, 0, "Температура подачи, °С", 60, 100},
                  {0x80, 0x02, 0, "Температура обратной воды, °С", 30, 70},
                  {0x80, 0x03, 0, "Давление в подающем трубопроводе", 0, 0},
                  {0x80, 0x04, 0, "Давление в обратном трубопроводе", 0, 0},
                  {0x80, 0x05, 0, "Объемный расход подачи, м3/ч", 0, 0},
                  {0x80, 0x06, 0, "Объемный расход обратной воды, м3/ч", 0, 0},
                  {0x80, 0x07, 0, "Массовый расход подачи, т/ч", 0, 0},
                  {0x80, 0x08, 0, "Массовый расход обратной воды, т/ч", 0, 0},
                  {0x80, 0x09, 0, "Тепловая мощность, Гкал/ч", 0, 0},
                  {0x80, 0x0A, 0, "Разность температур, °С", 0, 0},
                  {0x80, 0x0B, 0, "Температура холодной воды, °С", 0, 0},
                  {0x80, 0x20, 0, "Тепло за текущие сутки, Гкал", 0, 0}});
        addGroup("Тепловой пункт, ввод 2", 2,
                 {{0x80, 0x01, 1, "Температура подачи, °С", 60, 100}, {0x80, 0x02, 1, "Температура обратной воды, °С", 30, 70}});
        addGroup("Датчики", 5, {{0x00, 0x01, 0, "Входной ток датчика, мА", 4, 20}});
        for (int i = 0; i < groups_.size(); ++i) {
            std::array<uint8_t, kDescrAreaSize> area{};
            const std::size_t n = groups_.at(i).makeDescr(area);
            QCOMPARE(ws_->commands().writeGroupDescriptor(*ws_->port(), 0, i, std::span<const uint8_t>(area.data(), n)), 0);
        }
        groups_.resetPrevValid();

        signals_.clear();
        BitSignal door;
        door.bit = 3;
        door.name = "Дверь щита";
        QVERIFY(signals_.append(door));

        OnlineLinks links;
        links.groups = &groups_;
        links.signals = &signals_;
        links.modem = &modem_;
        view_ = std::make_unique<OnlineView>(*ws_, links);
        view_->session().setSetup({true, 0});
    }
    void cleanup()
    {
        view_.reset();
        scenario_.reset();
        ws_.reset();
        sim_.reset();
        for (const auto& p : op_->problems())
            QFAIL(p.c_str());
    }

    void layoutAndValuesOfANormalRun()
    {
        view_->show();
        QCOMPARE(view_->windowTitle(), QStringLiteral("Стандартный просмотр групповых параметров"));
        QCOMPARE(view_->height() - view_->menuBar()->height(), 386);
        QCOMPARE(view_->width(), 617);
        QCOMPARE(view_->paramTable()->columnWidth(0), 262);
        QCOMPARE(view_->paramTable()->columnWidth(1), 110);
        QCOMPARE(view_->paramTable()->rowCount(), 12);
        QCOMPARE(view_->groupList()->horizontalHeaderItem(0)->text(), QStringLiteral("Группы параметров"));
        QCOMPARE(view_->groupList()->item(1, 0)->text(), QStringLiteral("Тепловой пункт, ввод 2"));
        QCOMPARE(view_->groupList()->item(3, 0)->text(), QString());
        QCOMPARE(view_->paramTable()->horizontalHeaderItem(0)->text(), QStringLiteral("Тепловой пункт, ввод 1"));
        QCOMPARE(view_->pollTimer()->interval(), 1000);
        QVERIFY(view_->pollTimer()->isActive());

        ticks(3);
        QVERIFY(cell(0, 1).trimmed().toDouble() > 0 || cell(0, 1).contains(QLatin1Char(',')));
        QCOMPARE(cell(0, 0), QStringLiteral("Температура подачи, °С"));
        QCOMPARE(view_->statusPanel(0)->text(), QStringLiteral("Чтение группы Тепловой пункт, ввод 2    OK"));
        QCOMPARE(view_->statusPanel(1)->text(), QStringLiteral("Звуковое оповещение включено"));
        QVERIFY(view_->speakerButton()->isVisible());
        QCOMPARE(view_->speakerButton()->toolTip(), QStringLiteral("Отключения звукового сигнала"));
        for (Lamp l : {Lamp::Parameters, Lamp::BlockFailures, Lamp::SensorFailures, Lamp::Signals}) {
            QVERIFY(view_->lampWidget(l)->isVisible());
            QCOMPARE(view_->session().lamp(l), int(kLampNormal));
        }
        QCOMPARE(view_->lampTextLabel(Lamp::Parameters)->text(), QStringLiteral("в допуске"));
        QCOMPARE(view_->lampTextLabel(Lamp::SensorFailures)->text(), QStringLiteral("отсутствуют"));

        // Menu rules: a direct line with the extended model and the failure texts.
        QVERIFY(view_->action(QStringLiteral("actTeleindication"))->isVisible());
        QVERIFY(view_->menu(QStringLiteral("menuService"))->menuAction()->isVisible());
        QVERIFY(!view_->action(QStringLiteral("actChangeSpeed"))->isVisible());   // "Blok1" 3
        QVERIFY(view_->menu(QStringLiteral("menuIntervalArchives"))->menuAction()->isVisible());
        QVERIFY(!view_->action(QStringLiteral("actIntervalArchive"))->isVisible());
        QVERIFY(view_->menu(QStringLiteral("menuFailures"))->menuAction()->isVisible());
        shot("online-normal.png");
    }

    void alarmsTurnLampsAndRowsRed()
    {
        scenario_ = std::make_unique<sim::Scenario>(sim_->station().controller());
        scenario_->course(sim::Scenario::kDemoAddress, {{0, 80}, {3, 80}, {6, 112.5}})
            .course(0x8002, {{0, 50}, {3, 50}, {6, 78.25}})
            .failure(4, 0, 0x02, true)
            .failure(4, 8, 0x01, true)
            .signal(4, sim::Controller::Buffer::Input, 0, 3, true);
        scenario_->install();
        view_->show();
        ticks(2);
        QCOMPARE(view_->session().lamp(Lamp::Parameters), int(kLampNormal));
        ticks(8);
        QCOMPARE(view_->session().lamp(Lamp::Parameters), int(kLampAlarm));
        QCOMPARE(view_->lampTextLabel(Lamp::Parameters)->text(), QStringLiteral("вне допуска"));
        QCOMPARE(view_->session().lamp(Lamp::BlockFailures), int(kLampAlarm));
        QCOMPARE(view_->session().lamp(Lamp::SensorFailures), int(kLampAlarm));
        QCOMPARE(view_->lampTextLabel(Lamp::BlockFailures)->text(), QStringLiteral(" "));
        QCOMPARE(view_->session().lamp(Lamp::Signals), int(kLampAlarm));
        QCOMPARE(view_->paramTable()->item(0, 0)->background().color(), QColor(253, 238, 223));
        QCOMPARE(view_->paramTable()->item(1, 1)->background().color(), QColor(253, 238, 223));
        QCOMPARE(view_->paramTable()->item(2, 1)->background().style(), Qt::NoBrush);
        shot("online-alarm.png");

        // The speaker switch.
        view_->action(QStringLiteral("actSound"))->trigger();
        QCOMPARE(view_->action(QStringLiteral("actSound"))->text(), QStringLiteral("Включить звук"));
        QCOMPARE(view_->statusPanel(1)->text(), QStringLiteral("Звуковое оповещение выключено"));
        QVERIFY(!view_->speakerButton()->isVisible());
    }

    void doubleClicksAndCommands()
    {
        view_->show();
        ticks(2);
        // An empty row of the group list: nothing.
        Q_EMIT view_->groupList()->cellDoubleClicked(4, 0);
        QCOMPARE(view_->session().displayedGroup(), 0);
        Q_EMIT view_->groupList()->cellDoubleClicked(2, 0);
        QCOMPARE(view_->session().displayedGroup(), 2);
        QCOMPARE(view_->paramTable()->horizontalHeaderItem(0)->text(), QStringLiteral("Датчики"));
        QCOMPARE(cell(0, 0), QStringLiteral("Входной ток датчика, мА"));
        QCOMPARE(cell(1, 0), QString());
        QVERIFY(!cell(0, 1).isEmpty());

        // A window from the menu holds the redial off while it is open.
        bool redialDuring = true;
        int page = -5;
        view_->setCommandHandler(OnlineCommand::Extremes, [&](int) { redialDuring = view_->session().redialAllowed(); });
        view_->setCommandHandler(OnlineCommand::FailureLampSensor, [&](int p) { page = p; });
        view_->action(QStringLiteral("actExtremes"))->trigger();
        QVERIFY(!redialDuring);
        QVERIFY(view_->session().redialAllowed());
        QTest::mouseDClick(view_->lampWidget(Lamp::SensorFailures), Qt::LeftButton);
        QCOMPARE(page, 2);

        // Print without a handler for the table yet still dates nothing and asks nothing.
        view_->close();
        QVERIFY(view_->session().initPending());
        QVERIFY(!view_->pollTimer()->isActive());
    }

    void withoutGroupsThePrintSaysSo()
    {
        view_->session().setSetup({false, 0});
        view_->show();
        QVERIFY(!view_->lampWidget(Lamp::Parameters)->isVisible());
        QCOMPARE(cell(0, 0), QString());
        op_->expectMessage(kNoGroupsPrintMessage);
        view_->action(QStringLiteral("actPrint"))->trigger();
    }
};

QTEST_MAIN(TestOnlineView)
#include "TestOnlineView.moc"
