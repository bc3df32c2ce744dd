// The teleindication window on the offscreen platform: the grid filled column by column, the
// lamps and texts before and after a telesignal poll, the one-second refresh, telecontrol, and
// the window polling on its own over the workspace's line to the simulated controller.
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <memory>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "protocol/LineControl.h"
#include "sim/SimPort.h"
#include "telecontrol/ui/TeleindicationWindow.h"

using namespace kv;
using Buffer = sim::Controller::Buffer;
using Cells = TeleindicationCells;

namespace {

const QColor kGreen(0, 255, 0), kRed(255, 0, 0);

BitSignal described(int i, uint8_t kind, uint8_t bit)
{
    BitSignal s;
    s.name = "Сигнал " + std::to_string(i);
    s.kind = kind;
    s.bit = bit;
    s.normalText = "норма";
    s.alarmText = "авария";
    return s;
}

// The online view as far as the watch needs it.
class ViewHost final : public TelesignalHost {
public:
    SerialPort* port() override { return line; }
    int channelType() const override { return 0; }
    int switchChannel() const override { return 0; }
    bool pollAllowed() const override { return allowed; }
    void setPollAllowed(bool a) override { allowed = a; }
    void showStatus(const std::string&) override {}
    void setBusy(bool) override {}
    void drawSignalLamp(int) override {}
    bool soundOn() const override { return false; }
    void playSound(int) override {}
    SerialPort* line = nullptr;
    bool allowed = true;
};

// Whether any pixel of `area` differs from white.
bool inked(const QImage& img, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixelColor(x, y) != QColor(Qt::white))
                return true;
    return false;
}

QRect stateTextArea(const QRect& cell) { return {cell.x() + 25, cell.y() + 13, 120, 11}; }

} // namespace

class TestTeleindication : public QObject {
    Q_OBJECT
private:
    sim::VirtualClock clock_;
    NullEventPump pump_;
    NullTraceLog trace_;
    std::unique_ptr<Exchange> exchange_;
    std::unique_ptr<CanLink> can_;
    std::unique_ptr<Commands> cmds_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    std::unique_ptr<SerialPort> port_;
    BitSignalTable table_;
    std::unique_ptr<TelesignalWatch> watch_;
    ViewHost host_;
    std::unique_ptr<TeleindicationWindow> win_;

    sim::Controller& ctl() { return sim_->station().controller(); }
    QImage drawing() { return win_->cells()->grab().toImage(); }
    QColor lampOf(const QImage& img, int i, int rows)
    {
        return img.pixelColor(Cells::lampRect(Cells::cellRect(i, rows)).center());
    }

private Q_SLOTS:
    void init()
    {
        exchange_ = std::make_unique<Exchange>(clock_, pump_, trace_);
        can_ = std::make_unique<CanLink>(*exchange_);
        cmds_ = std::make_unique<Commands>(*exchange_, *can_);
        sim_ = std::make_unique<sim::SimPortOpener>(sim::StationOptions{}, &clock_);
        port_ = openLine(*sim_, "Com1", 5, 0, *exchange_);
        host_.line = port_.get();
        table_.clear();
        watch_ = std::make_unique<TelesignalWatch>(*cmds_, clock_, table_);
        win_ = std::make_unique<TeleindicationWindow>(table_);
    }
    void cleanup()
    {
        win_.reset();
        watch_.reset();
    }

    void fiveSignalsFillTwoRowsColumnByColumn()
    {
        QCOMPARE(Cells::rowsFor(5), 2);
        QCOMPARE(Cells::drawingSize(5), QSize(157 * 4 + 2, 26 * 2 + 2));
        const QPoint expected[] = {{1, 1}, {1, 27}, {158, 1}, {158, 27}, {315, 1}, {315, 27}, {472, 1}, {472, 27}};
        for (int i = 0; i < 8; ++i)
            QCOMPARE(Cells::cellRect(i, 2).topLeft(), expected[i]);
        QCOMPARE(Cells::lampRect(Cells::cellRect(4, 2)), QRect(315 + 4, 1 + 9, 10, 10));
    }

    void lampsStayWhiteUntilTheFirstPollThenFollowTheStates()
    {
        for (int i = 0; i < 5; ++i)
            table_.append(described(i, 0x00, uint8_t(i)));
        table_.at(3).normal = 1;   // its bit is clear: alarm
        watch_->start(1);
        win_->attachWatch(*watch_);
        win_->show();
        QVERIFY(QTest::qWaitForWindowExposed(win_.get()));

        QImage img = drawing();
        QCOMPARE(img.size(), Cells::drawingSize(5));
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(lampOf(img, i, 2), QColor(Qt::white));
            QVERIFY(!inked(img, stateTextArea(Cells::cellRect(i, 2))));
        }
        // The three cells beyond the descriptions have their frames but no lamp.
        QVERIFY(lampOf(img, 5, 2) != QColor(Qt::white));
        QVERIFY(lampOf(img, 5, 2) == lampOf(img, 7, 2));

        watch_->tickStep(1, host_);
        QVERIFY(watch_->signalsRead());
        win_->tick();
        img = drawing();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(lampOf(img, i, 2), i == 3 ? kRed : kGreen);
        QVERIFY(inked(img, stateTextArea(Cells::cellRect(0, 2))));
        QVERIFY(inked(img, stateTextArea(Cells::cellRect(3, 2))));
        QVERIFY(!inked(img, stateTextArea(Cells::cellRect(5, 2))));

        // A bit leaving its normal state shows red after the next poll and tick.
        ctl().setBit(Buffer::Input, 0, 1, true);
        watch_->tickStep(1, host_);
        win_->tick();
        QCOMPARE(lampOf(drawing(), 1, 2), kRed);
    }

    void telecontrolHidesTheWindowAndAsksForAPoll()
    {
        table_.append(described(0, 0x00, 0));
        watch_->start(10);
        watch_->tickStep(1, host_);
        QCOMPARE(watch_->countdown(), 10);
        win_->attachWatch(*watch_);
        win_->show();
        bool hiddenMeanwhile = false;
        win_->setTelecontrol([&] { hiddenMeanwhile = !win_->isVisible(); });
        auto* act = win_->findChild<QAction*>(QStringLiteral("actTelecontrol"));
        QVERIFY(act);
        QCOMPARE(act->text(), QStringLiteral("Телеуправление"));
        act->trigger();
        QVERIFY(hiddenMeanwhile);
        QVERIFY(win_->isVisible());
        QCOMPARE(watch_->countdown(), 0);

        auto* exit = win_->findChild<QAction*>(QStringLiteral("actExit"));
        QCOMPARE(exit->text(), QStringLiteral("Выход"));
        exit->trigger();
        QVERIFY(!win_->isVisible());
    }

    void sizedForTheWholeGridAndCentred()
    {
        for (int i = 0; i < 64; ++i)
            table_.append(described(i, 0x00, uint8_t(i)));
        win_->attachWatch(*watch_);
        win_->fitToSignals();
        win_->show();
        QVERIFY(QTest::qWaitForWindowExposed(win_.get()));
        auto* scroll = win_->findChild<QScrollArea*>(QStringLiteral("ScrollBox1"));
        QCOMPARE(win_->cells()->size(), Cells::drawingSize(64));
        QVERIFY(!scroll->verticalScrollBar()->isVisible());
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        const QRect avail = win_->screen()->availableGeometry();
        QVERIFY(qAbs(win_->frameGeometry().center().x() - avail.center().x()) <= 2);
        QVERIFY(qAbs(win_->frameGeometry().center().y() - avail.center().y()) <= 2);
    }

    // Opened from the main window no online view polls: the window reads the signals itself.
    void pollsOnItsOwnOverTheWorkspaceLine()
    {
        namespace fs = std::filesystem;
        QTemporaryDir dir;
        const fs::path folder = fs::path(dir.path().toStdString()) / "work";
        test::copyDemoFolder(folder);
        test::ScriptedOperator op;
        Workspace ws(folder.string(), clock_, pump_, op);
        ws.activate();
        const ChannelSettings& s = ws.settings();
        sim::SimPortOpener controller(sim::stationOptionsFromSettings(s.blok1, s.setNumber, s.prot, s.crc, s.channel,
                                                                      s.channelType, s.multNumb, ""),
                                      &clock_);
        ws.setPortOpener(&controller);
        QVERIFY(ws.openPort());
        QVERIFY(ws.connect());

        table_.append(described(0, 0x10, 5));   // output buffer 0, bit 5
        table_.append(described(1, 0x21, 9));   // indication buffer 1, bit 9
        controller.station().controller().setBit(Buffer::Indication, 1, 9, true);
        win_->watchOwnLine(ws);
        win_->show();
        win_->tick();
        QVERIFY(win_->watch()->signalsRead());
        QImage img = drawing();
        QCOMPARE(lampOf(img, 0, 1), kGreen);
        QCOMPARE(lampOf(img, 1, 1), kRed);

        // A silent line shows its failure under the drawing and keeps the lamps.
        controller.station().faults().always(sim::Fault::NoAnswer);
        for (int i = 0; i < ws.settings().timTc; ++i)
            win_->tick();
        auto* status = win_->findChild<QLabel*>(QStringLiteral("StatusText"));
        QVERIFY(status->text().startsWith(QString::fromUtf8(kOutputBufferText)));
        QCOMPARE(lampOf(drawing(), 1, 1), kRed);
        win_->close();
        for (const auto& p : op.problems())
            QFAIL(p.c_str());
    }

    void picture()
    {
        const QByteArray dir = qgetenv("KV_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("set KV_SCREENSHOT_DIR to save a picture of the window");
        const char* names[] = {"Насос подпитки 1", "Насос подпитки 2", "Дверь теплового пункта", "Давление подачи",
                               "Затопление приямка", "Клапан ГВС", "Питание 220 В", "Сигнализация пожара",
                               "Задвижка на вводе", "Температура в помещении", "Резервный насос"};
        const char* normals[] = {"работает", "работает", "закрыта", "в норме", "сухо", "закрыт",
                                 "есть", "норма", "открыта", "в норме", "в резерве"};
        const char* alarms[] = {"остановлен", "остановлен", "открыта", "ниже нормы", "вода в приямке", "открыт",
                                "нет питания", "ПОЖАР", "закрыта", "ниже нормы", "включен"};
        for (int i = 0; i < 11; ++i) {
            BitSignal s = described(i, 0x00, uint8_t(i));
            s.name = names[i];
            s.normalText = normals[i];
            s.alarmText = alarms[i];
            table_.append(s);
        }
        for (int bit : {2, 4, 7})
            ctl().setBit(Buffer::Input, 0, bit, true);
        watch_->start(1);
        watch_->tickStep(1, host_);
        win_->attachWatch(*watch_);
        win_->fitToSignals();
        win_->show();
        QVERIFY(QTest::qWaitForWindowExposed(win_.get()));
        win_->tick();
        QVERIFY(win_->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/teleindication.png")));
    }
};

QTEST_MAIN(TestTeleindication)
#include "TestTeleindication.moc"
