// The main window on the offscreen platform: caption, menu, visibility rules, debug mode.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "app/ui/MainWindow.h"
#include "sim/VirtualClock.h"

using namespace kv;

class TestMainWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    std::unique_ptr<sim::VirtualClock> clock_;
    NullEventPump pump_;
    std::unique_ptr<test::ScriptedOperator> op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<MainWindow> win_;

    QAction* act(const char* id) { return win_->action(QString::fromLatin1(id)); }

private Q_SLOTS:
    void init()
    {
        namespace fs = std::filesystem;
        QVERIFY(dir_.isValid());
        const fs::path folder = fs::path(dir_.path().toStdString()) / "work";
        test::copyDemoFolder(folder);
        clock_ = std::make_unique<sim::VirtualClock>();
        op_ = std::make_unique<test::ScriptedOperator>();
        ws_ = std::make_unique<Workspace>(folder.string(), *clock_, pump_, *op_);
        win_ = std::make_unique<MainWindow>(*ws_, *op_);
        win_->activateWorkspace();
    }
    void cleanup()
    {
        win_.reset();
        ws_.reset();
        for (const auto& p : op_->problems())
            QFAIL(p.c_str());
    }

    void captionAndMenuBar()
    {
        QCOMPARE(win_->windowTitle(), QStringLiteral("КВАРНИК  v 5.29"));
        QStringList top;
        for (QAction* a : win_->menuBar()->actions())
            top << a->text();
        QCOMPARE(top, (QStringList{QStringLiteral("Настройки "), QStringLiteral("Обмен"),
                                   QStringLiteral("Чтение данных с USB-flash"), QStringLiteral("Помощь")}));
        QCOMPARE(act("actTolerance")->property("helpContext").toInt(), 41);
        QCOMPARE(act("actPollFrequency")->property("helpContext").toInt(), 42);
        QCOMPARE(act("actSensorNames")->property("helpContext").toInt(), 43);
        QCOMPARE(act("actReportTitles")->text(), QStringLiteral("Заголовки отчетов "));
        QCOMPARE(win_->property("helpContext").toInt(), 2);
    }

    void visibilityFollowsTheWorkFolder()
    {
        QVERIFY(act("actWork")->isVisible());
        QVERIFY(!act("actTeleindication")->isVisible());
        QVERIFY(!act("actUsbFlash")->isVisible());
        QCOMPARE(act("actEndHayes")->isVisible(), ws_->settings().modem);
        QVERIFY(!act("actEndHayes")->isEnabled());

        QFile::remove(QString::fromStdString(ws_->folder()) + QStringLiteral("Sprav.txt"));
        op_->expectMessage(kNoReferenceMessage);
        win_->activateWorkspace();
        QVERIFY(!act("actWork")->isVisible());
        QVERIFY(act("actTeleindication")->isVisible());
    }

    void doubleClickOnThePictureTogglesTheDebugMode()
    {
        win_->show();
        auto* picture = win_->findChild<QLabel*>(QStringLiteral("Image1"));
        QVERIFY(picture);
        QVERIFY(!win_->memo()->isVisible());
        QTest::mouseDClick(picture, Qt::LeftButton);
        QVERIFY(ws_->debugMode());
        QVERIFY(win_->memo()->isVisible());
        auto* hint = win_->findChild<QLabel*>(QStringLiteral("StatusPanel1"));
        QCOMPARE(hint->text(), QStringLiteral("Отладочная печать и однократные запросы"));
        ws_->debugLog().debugLog("<<06");
        QVERIFY(win_->memo()->toPlainText().endsWith(QStringLiteral(" : <<06")));
        QTest::mouseDClick(picture, Qt::LeftButton);
        QVERIFY(!ws_->debugMode());
        QVERIFY(!win_->memo()->isVisible());
        QVERIFY(hint->text().isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
