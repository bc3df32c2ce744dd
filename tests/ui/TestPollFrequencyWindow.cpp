// The poll-frequency window driven as the operator drives it, on the offscreen platform:
// ticking the boxes, typing periods, saving, and leaving with or without the question.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "ScriptedOperator.h"
#include "online/ui/PollFrequencyWindow.h"

using namespace kv;

class TestPollFrequencyWindow : public QObject {
    Q_OBJECT
private:
    test::ScriptedOperator op_;
    std::unique_ptr<PollFrequencyWindow> win_;
    ChannelSettings held_;

    template <class T>
    T* get(const char* name)
    {
        T* w = win_->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QWidget* shown(const char* name) { return get<QWidget>(name); }
    QLineEdit* file(const char* name) { return get<QWidget>(name)->findChild<QLineEdit*>(); }
    void retype(const char* name, const QString& text)
    {
        QLineEdit* e = get<QLineEdit>(name);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
    void click(const char* name) { QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton); }
    void open(bool telesignals)
    {
        win_ = std::make_unique<PollFrequencyWindow>(op_);
        win_->activate(held_, telesignals, "/work/folder/");
        win_->show();
        QVERIFY(QTest::qWaitForWindowExposed(win_.get()));
    }

private Q_SLOTS:
    void init()
    {
        op_ = test::ScriptedOperator();
        held_ = ChannelSettings();
        held_.timotk = 30;
        held_.timTc = 5;
        held_.voice = {"tol.wav", "fail.wav", ""};
        held_.phone = "kept";
    }
    void cleanup()
    {
        const auto p = op_.problems();
        QVERIFY2(p.empty(), p.empty() ? "" : p.front().c_str());
        win_.reset();
    }

    void showsTheHeldPeriodsAndSoundFiles()
    {
        open(true);
        QCOMPARE(win_->windowTitle(), QStringLiteral("Частота опроса "));
        QVERIFY(get<QCheckBox>("CheckBox1")->isChecked());
        QCOMPARE(get<QLineEdit>("Edit1")->text(), QStringLiteral("30"));
        QCOMPARE(get<QLineEdit>("Edit2")->text(), QStringLiteral("5"));
        QVERIFY(get<QCheckBox>("CheckBox2")->isChecked());
        QCOMPARE(file("FilenameEdit1")->text(), QStringLiteral("fail.wav"));
        QVERIFY(!get<QCheckBox>("CheckBox3")->isChecked());
        QVERIFY(shown("Panel1")->isVisible());
        QVERIFY(!shown("FilenameEdit2")->isVisible());

        const QImage shot = win_->grab().toImage();
        QVERIFY(!shot.isNull());
        if (qEnvironmentVariableIsSet("KV_GRAB_DIR"))
            shot.save(qEnvironmentVariable("KV_GRAB_DIR") + QStringLiteral("/PollFrequencyWindow.png"));

        // Boxes change only what is shown.
        get<QCheckBox>("CheckBox1")->click();
        QVERIFY(!shown("Edit1")->isVisible());
        QVERIFY(!shown("Label1")->isVisible());
        get<QCheckBox>("CheckBox3")->click();
        QVERIFY(shown("FilenameEdit2")->isVisible());
        click("Button2");   // nothing typed: no question
        QVERIFY(!win_->isVisible());
        QVERIFY(!win_->saved());
    }

    void savingStoresPeriodsAndSoundFilesAndNothingElse()
    {
        open(true);
        retype("Edit1", QStringLiteral("4x5"));   // letters are not taken
        QCOMPARE(get<QLineEdit>("Edit1")->text(), QStringLiteral("45"));
        retype("Edit2", QStringLiteral("12"));
        get<QCheckBox>("CheckBox3")->click();
        file("FilenameEdit2")->setText(QStringLiteral("signal.wav"));
        get<QCheckBox>("CheckBox2")->click();
        click("Button1");
        QVERIFY(win_->saved());
        QVERIFY(!win_->isVisible());
        const ChannelSettings& s = win_->settings();
        QCOMPARE(int(s.timotk), 45);
        QCOMPARE(int(s.timTc), 12);
        QCOMPARE(s.voice[0], std::string("tol.wav"));
        QCOMPARE(s.voice[1], std::string());
        QCOMPARE(s.voice[2], std::string("signal.wav"));
        QCOMPARE(s.phone, std::string("kept"));
    }

    void untickedFailureWatchSavesZeroAndNoSignalsSaveTen()
    {
        open(false);
        QVERIFY(!shown("Panel1")->isVisible());
        get<QCheckBox>("CheckBox1")->click();
        click("Button1");
        QVERIFY(win_->saved());
        QCOMPARE(int(win_->settings().timotk), 0);
        QCOMPARE(int(win_->settings().timTc), 10);
    }

    void badPeriodsKeepTheWindowOpenOnTheirField_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("typed");
        QTest::newRow("failure zero") << QByteArray("Edit1") << QStringLiteral("0");
        QTest::newRow("failure empty") << QByteArray("Edit1") << QString();
        QTest::newRow("failure blanks inside") << QByteArray("Edit1") << QStringLiteral("1 2");
        QTest::newRow("failure beyond a byte") << QByteArray("Edit1") << QStringLiteral("300");
        QTest::newRow("telesignal zero") << QByteArray("Edit2") << QStringLiteral("0");
        QTest::newRow("telesignal beyond a byte") << QByteArray("Edit2") << QStringLiteral("256");
    }
    void badPeriodsKeepTheWindowOpenOnTheirField()
    {
        QFETCH(QByteArray, field);
        QFETCH(QString, typed);
        open(true);
        retype(field.constData(), typed);
        click("Button1");
        QVERIFY(win_->isVisible());
        QVERIFY(!win_->saved());
        QVERIFY(get<QLineEdit>(field.constData())->hasFocus());
    }

    void leavingAfterTypingAsksWhetherToSave()
    {
        open(true);
        retype("Edit1", QStringLiteral("60"));
        op_.expectQuestion("Сохранить изменения ?", false);
        click("Button2");
        QVERIFY(!win_->isVisible());
        QVERIFY(!win_->saved());

        open(true);
        retype("Edit1", QStringLiteral("60"));
        op_.expectQuestion("Сохранить изменения ?", true);
        win_->close();   // the window's own close button asks the same
        QVERIFY(!win_->isVisible());
        QVERIFY(win_->saved());
        QCOMPARE(int(win_->settings().timotk), 60);

        // A Yes that meets a bad period keeps the window on it.
        open(true);
        retype("Edit2", QStringLiteral("0"));
        op_.expectQuestion("Сохранить изменения ?", true);
        click("Button2");
        QVERIFY(win_->isVisible());
        QVERIFY(get<QLineEdit>("Edit2")->hasFocus());
    }
};

QTEST_MAIN(TestPollFrequencyWindow)
#include "TestPollFrequencyWindow.moc"
