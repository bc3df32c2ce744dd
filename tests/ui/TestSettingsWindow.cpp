// The channel and line settings window driven as the operator drives it, on the offscreen
// platform: clicks on radio buttons and check boxes, typing, the save and exit buttons.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "channels/ui/SettingsWindow.h"

using namespace kv;

namespace {

// The settings of a controller on a four-wire current loop, as read from a configuration.
ChannelSettings loopSettings()
{
    ChannelSettings s;
    s.port = 2;
    s.channelType = 1;
    s.blok1 = 1;
    s.speed = 3;
    s.setNumber = 12;
    s.multNumb = 4;
    s.prot = 0;
    s.crc = 0;
    s.channel = 0;
    s.codePC = 0x1F;
    s.speedPC = 4;
    s.phone = "kept";
    return s;
}

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<SettingsWindow> win_;

    template <class T>
    T* get(const char* name)
    {
        T* w = win_->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QGroupBox* group(const char* name) { return get<QGroupBox>(name); }
    QList<QRadioButton*> buttons(const char* name)
    {
        return group(name)->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
    }
    QStringList items(const char* name)
    {
        QStringList out;
        for (QRadioButton* b : buttons(name))
            out << b->text();
        return out;
    }
    QString chosen(const char* name)
    {
        for (QRadioButton* b : buttons(name))
            if (b->isChecked())
                return b->text();
        return {};
    }
    // Clicks an item the operator can see.
    void choose(const char* groupName, const QString& text)
    {
        for (QRadioButton* b : buttons(groupName))
            if (b->text() == text) {
                QVERIFY2(b->isVisible(), qPrintable(text));
                // On the round mark: the button may be wider than its text.
                QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
                return;
            }
        QFAIL(qPrintable(QStringLiteral("no item ") + text));
    }
    void tick(const char* name)
    {
        QCheckBox* box = get<QCheckBox>(name);
        QVERIFY(box->isVisible());
        QTest::mouseClick(box, Qt::LeftButton);
    }
    void type(const char* name, const QString& text)
    {
        QLineEdit* e = get<QLineEdit>(name);
        QVERIFY(e->isVisible());
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
    void clickSave() { QTest::mouseClick(get<QPushButton>("Button1"), Qt::LeftButton); }
    bool white(const char* name)
    {
        QGroupBox* g = group(name);
        return g->autoFillBackground() && g->palette().color(QPalette::Window) == QColor(Qt::white);
    }
    bool shown(const char* name) { return win_->findChild<QWidget*>(QString::fromLatin1(name))->isVisible(); }
    QWidget* focused() { return QApplication::focusWidget(); }

    void open(const ChannelSettings& s)
    {
        win_->activate(s);
        win_->show();
        win_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(win_.get()));
    }
    // The window stays open after a failed save and no other window (a message box) came up.
    void expectStaysOpenQuietly()
    {
        QVERIFY(win_->isVisible());
        QVERIFY(!win_->saved());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(w == win_.get() || !w->isVisible(), qPrintable(w->objectName()));
    }

    static void dropSizeHintNotes(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        // The offscreen platform says so each time a window that follows its content resizes.
        if (text.contains(QStringLiteral("propagateSizeHints")))
            return;
        previousHandler(type, context, text);
    }
    static inline QtMessageHandler previousHandler = nullptr;

private Q_SLOTS:
    void initTestCase() { previousHandler = qInstallMessageHandler(dropSizeHintNotes); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }
    void init() { win_ = std::make_unique<SettingsWindow>(); }
    void cleanup() { win_.reset(); }

    void activationShowsTheSettingsInMemory()
    {
        ChannelSettings s = loopSettings();
        s.blok1 = 0;
        open(s);
        QCOMPARE(win_->windowTitle(), QStringLiteral("Настройки последовательного порта и параметров обмена"));
        QCOMPARE(get<QLabel>("StatusPanel0")->text(), QStringLiteral("настройки обмена для контроллера"));
        QCOMPARE(chosen("RadioGroup1"), QStringLiteral("Com3"));
        QCOMPARE(chosen("RadioGroup4"), QStringLiteral("ЗЕНТАР 10 базовый"));
        QCOMPARE(items("RadioGroup2"),
                 (QStringList{QStringLiteral("RS 232"), QStringLiteral("ИРПС"),
                              QStringLiteral("ИСМ-1200 (выделенная линия)"), QStringLiteral("Hayes-модем"),
                              QStringLiteral("Мультиплексор токовой петли"), QStringLiteral("RS 485+"),
                              QStringLiteral("GSM-модем")}));
        QCOMPARE(chosen("RadioGroup2"), QStringLiteral("ИРПС"));
        QCOMPARE(group("RadioGroup3")->title(), QStringLiteral("Скорость обмена"));
        QCOMPARE(items("RadioGroup3").size(), 7);
        QCOMPARE(items("RadioGroup3").last(), QStringLiteral(" 19200 бод"));
        QCOMPARE(chosen("RadioGroup3"), QStringLiteral("  2400 бод"));
        QCOMPARE(get<QLineEdit>("Edit1")->text(), QStringLiteral("12"));
        QCOMPARE(get<QLineEdit>("Edit1")->toolTip(),
                 QStringLiteral("Номер коммутатора или сетевой номер ЗЕНТАР в десятичном виде"));
        QCOMPARE(get<QComboBox>("ComboBox1")->currentText(), QStringLiteral("Основной канал"));
        QCOMPARE(get<QLineEdit>("Edit6")->text(), QStringLiteral("1F"));
        QCOMPARE(get<QComboBox>("ComboBox2")->currentText(), QStringLiteral("100"));
        QVERIFY(!shown("Panel2"));   // no protocol choice for the basic variant
        QVERIFY(!shown("Panel1"));
        QVERIFY(!shown("Panel3"));
        QVERIFY(!shown("Edit2"));
        QVERIFY(shown("CheckBox1"));
        QVERIFY(shown("ComboBox1"));
    }

    void canBusLinkWithWiringDetection()
    {
        ChannelSettings s = loopSettings();
        s.blok1 = 3;
        s.avto = true;
        open(s);
        QCOMPARE(items("RadioGroup2").size(), 10);
        QCOMPARE(items("RadioGroup2").last(), QStringLiteral("Can-Bus"));
        QCOMPARE(chosen("RadioGroup2"), QStringLiteral("ИРПС (4x-проводн)"));
        choose("RadioGroup2", QStringLiteral("Can-Bus"));
        QVERIFY(shown("Panel3"));
        QVERIFY(!shown("Panel2"));
        QVERIFY(!shown("CheckBox1"));
        QVERIFY(!shown("ComboBox1"));
        QCOMPARE(group("RadioGroup3")->title(), QStringLiteral("Скорость обмена компьютер-адаптер"));
        QCOMPARE(items("RadioGroup3"), QStringList{QStringLiteral("115200 бод")});
        QCOMPARE(chosen("RadioGroup3"), QStringLiteral("115200 бод"));
        type("Edit6", QStringLiteral("7f"));
        QCOMPARE(get<QLineEdit>("Edit6")->text(), QStringLiteral("7F"));
        get<QComboBox>("ComboBox2")->setCurrentIndex(9);
        clickSave();
        QVERIFY(win_->saved());
        QVERIFY(!win_->isVisible());
        QCOMPARE(win_->settings().channelType, 11);
        QCOMPARE(win_->settings().speed, 10);
        QCOMPARE(win_->settings().codePC, 0x7F);
        QCOMPARE(win_->settings().speedPC, 9);
    }

    void computerAddressMustStayBelow80()
    {
        ChannelSettings s = loopSettings();
        s.blok1 = 3;
        s.channelType = 11;
        open(s);
        type("Edit6", QStringLiteral("7g"));
        QCOMPARE(get<QLineEdit>("Edit6")->text(), QStringLiteral("7"));
        type("Edit6", QStringLiteral("80"));
        get<QPushButton>("Button1")->setFocus();
        clickSave();
        expectStaysOpenQuietly();
        QCOMPARE(focused(), get<QLineEdit>("Edit6"));
        type("Edit6", QStringLiteral("7F"));
        clickSave();
        QVERIFY(win_->saved());
        QCOMPARE(win_->settings().codePC, 0x7F);
    }

    void hayesModemStoresTheModemSpeedAndItsStrings()
    {
        open(loopSettings());   // no modem in the settings: the modem fields start empty
        choose("RadioGroup2", QStringLiteral("Hayes-модем"));
        QVERIFY(shown("Panel1"));
        QVERIFY(shown("RadioGroup7"));
        QVERIFY(shown("RadioGroup8"));
        QCOMPARE(get<QLineEdit>("Edit3")->text(), QString());
        QCOMPARE(get<QLineEdit>("Edit4")->text(), QString());
        QCOMPARE(chosen("RadioGroup8"), QStringLiteral("Импульсный"));
        QCOMPARE(chosen("RadioGroup7"), QStringLiteral("Символьный"));
        QVERIFY(!get<QCheckBox>("CheckBox2")->isChecked());
        QVERIFY(!shown("Edit5"));
        choose("RadioGroup3", QStringLiteral(" 19200 бод"));

        clickSave();
        expectStaysOpenQuietly();
        QCOMPARE(focused(), get<QLineEdit>("Edit3"));
        type("Edit3", QStringLiteral("2345678"));
        clickSave();
        expectStaysOpenQuietly();
        QCOMPARE(focused(), get<QLineEdit>("Edit4"));
        type("Edit4", QStringLiteral("AT V0 E0 S7=60"));

        tick("CheckBox2");
        QVERIFY(shown("Edit5"));
        QVERIFY(shown("LabelMinutes1"));
        QVERIFY(shown("LabelMinutes2"));
        type("Edit5", QStringLiteral("x"));   // digits only: the field stays empty
        QCOMPARE(get<QLineEdit>("Edit5")->text(), QString());
        clickSave();
        expectStaysOpenQuietly();
        QCOMPARE(focused(), get<QLineEdit>("Edit5"));
        type("Edit5", QStringLiteral("7"));
        choose("RadioGroup7", QStringLiteral("Цифровой "));
        choose("RadioGroup8", QStringLiteral("Тональный"));
        clickSave();
        QVERIFY(win_->saved());
        const ChannelSettings& r = win_->settings();
        QCOMPARE(r.channelType, 6);
        QCOMPARE(r.speed, 5);
        QVERIFY(r.modem);
        QCOMPARE(r.phone, std::string("2345678"));
        QCOMPARE(r.inimod, std::string("AT V0 E0 S7=60"));
        QCOMPARE(r.modemMin, 7);
        QVERIFY(!r.simbol);
        QVERIFY(!r.pulse);
    }

    void gsmModemHidesTheHayesGroupsAndStoresBothAsOne()
    {
        ChannelSettings s = loopSettings();
        s.channelType = 8;
        s.modem = true;
        s.phone = "+70001112233";
        s.inimod = "AT";
        s.simbol = false;
        s.pulse = true;
        s.modemMin = 3;
        s.prot = 1;
        open(s);
        QCOMPARE(chosen("RadioGroup2"), QStringLiteral("GSM-модем"));
        QVERIFY(shown("Panel1"));
        QVERIFY(!shown("RadioGroup7"));
        QVERIFY(!shown("RadioGroup8"));
        QVERIFY(get<QCheckBox>("CheckBox2")->isChecked());
        QCOMPARE(get<QLineEdit>("Edit5")->text(), QStringLiteral("3"));
        QCOMPARE(get<QLineEdit>("Edit1")->text(), QStringLiteral("12"));
        tick("CheckBox2");
        QVERIFY(!shown("Edit5"));
        clickSave();
        QVERIFY(win_->saved());
        QVERIFY(win_->settings().simbol);
        QVERIFY(!win_->settings().pulse);
        QCOMPARE(win_->settings().modemMin, 0);
        QCOMPARE(win_->settings().speed, 5);
    }

    void wiringDetectionSwitchesLayoutsKeepingTheLink()
    {
        open(loopSettings());
        tick("CheckBox1");
        QCOMPARE(items("RadioGroup2").size(), 9);
        QCOMPARE(chosen("RadioGroup2"), QStringLiteral("ИРПС (4x-проводн)"));
        tick("CheckBox1");
        choose("RadioGroup2", QStringLiteral("Мультиплексор токовой петли"));
        tick("CheckBox1");
        QCOMPARE(chosen("RadioGroup2"), QStringLiteral("Мультипл.ток.петли(2x-пров)"));
        choose("RadioGroup2", QStringLiteral("Мультипл.ток.петли(4x-пров)"));
        clickSave();
        QVERIFY(win_->saved());
        QCOMPARE(win_->settings().channelType, 9);
        QVERIFY(win_->settings().avto);
    }

    void typesTheWindowDoesNotOfferShowAsRs232()
    {
        ChannelSettings s = loopSettings();
        s.channelType = 3;
        open(s);
        QCOMPARE(chosen("RadioGroup2"), QStringLiteral("RS 232"));
        clickSave();
        QVERIFY(win_->saved());
        QCOMPARE(win_->settings().channelType, 0);
    }

    void multiplexerWithTraditionalProtocolFixesTheNetworkNumber()
    {
        open(loopSettings());
        choose("RadioGroup2", QStringLiteral("Мультиплексор токовой петли"));
        QVERIFY(shown("Edit2"));
        QLineEdit* number = get<QLineEdit>("Edit1");
        QCOMPARE(number->text(), QStringLiteral("0"));
        QVERIFY(number->isReadOnly());
        QTest::keyClicks(number, QStringLiteral("5"));
        QCOMPARE(number->text(), QStringLiteral("0"));
        QVERIFY(!shown("RadioGroup6"));

        choose("RadioGroup5", QStringLiteral("FT1.2"));
        QVERIFY(!number->isReadOnly());
        QVERIFY(shown("RadioGroup6"));
        type("Edit1", QStringLiteral("1x5"));
        QCOMPARE(number->text(), QStringLiteral("15"));
        type("Edit2", QString());
        clickSave();
        expectStaysOpenQuietly();
        QCOMPARE(focused(), get<QLineEdit>("Edit2"));
        type("Edit2", QStringLiteral("300"));
        clickSave();
        expectStaysOpenQuietly();
        QCOMPARE(focused(), get<QLineEdit>("Edit2"));
        type("Edit2", QStringLiteral("6"));
        choose("RadioGroup6", QStringLiteral("CRC передается вместо КС и конца кадра"));
        clickSave();
        QVERIFY(win_->saved());
        QCOMPARE(win_->settings().channelType, 7);
        QCOMPARE(win_->settings().setNumber, 15);
        QCOMPARE(win_->settings().multNumb, 6);
        QCOMPARE(win_->settings().prot, 1);
        QCOMPARE(win_->settings().crc, 2);
    }

    void networkNumberMustBeGivenAndFitTheConfiguration()
    {
        open(loopSettings());
        type("Edit1", QString());
        clickSave();
        expectStaysOpenQuietly();
        QCOMPARE(focused(), get<QLineEdit>("Edit1"));
        type("Edit1", QStringLiteral("128"));
        clickSave();
        expectStaysOpenQuietly();
        QCOMPARE(focused(), get<QLineEdit>("Edit1"));
        type("Edit1", QStringLiteral("127"));
        clickSave();
        QVERIFY(win_->saved());
        QCOMPARE(win_->settings().setNumber, 127);
    }

    void missingChoicesTurnTheirGroupWhite()
    {
        ChannelSettings s = loopSettings();
        s.port = 9;      // no such port
        s.channel = 7;   // no such channel
        open(s);
        QCOMPARE(chosen("RadioGroup1"), QString());
        QVERIFY(!white("RadioGroup1"));
        clickSave();
        expectStaysOpenQuietly();
        QVERIFY(white("RadioGroup1"));
        choose("RadioGroup1", QStringLiteral("Com1"));
        clickSave();
        expectStaysOpenQuietly();
        QVERIFY(!white("RadioGroup1"));
        QCOMPARE(focused(), get<QComboBox>("ComboBox1"));
        get<QComboBox>("ComboBox1")->setCurrentIndex(1);
        clickSave();
        QVERIFY(win_->saved());
        QCOMPARE(win_->settings().port, 0);
        QCOMPARE(win_->settings().channel, 1);

        // The next activation starts with every group in its normal colour.
        s.port = 9;
        open(s);
        clickSave();
        QVERIFY(white("RadioGroup1"));
        open(loopSettings());
        QVERIFY(!white("RadioGroup1"));
    }

    void variantChoiceReturnsToTheStoredLink()
    {
        ChannelSettings s = loopSettings();
        s.blok1 = 3;
        s.channelType = 8;
        s.prot = 1;
        open(s);
        QVERIFY(shown("Panel2"));
        QVERIFY(shown("RadioGroup6"));
        choose("RadioGroup2", QStringLiteral("Can-Bus"));
        choose("RadioGroup4", QStringLiteral("ЗЕНТАР 10 базовый"));
        QCOMPARE(items("RadioGroup2").size(), 7);
        QCOMPARE(chosen("RadioGroup2"), QStringLiteral("GSM-модем"));
        QVERIFY(!shown("Panel2"));
        QVERIFY(shown("Panel1"));
        QVERIFY(!shown("Panel3"));
        QCOMPARE(group("RadioGroup3")->title(), QStringLiteral("Скорость обмена"));
        choose("RadioGroup4", QStringLiteral("ЗЕНТАР 10 минимальный"));
        QVERIFY(shown("Panel2"));
    }

    void exitAndEscapeLeaveTheSettingsAlone()
    {
        ChannelSettings s = loopSettings();
        open(s);
        choose("RadioGroup1", QStringLiteral("Com8"));
        QTest::mouseClick(get<QPushButton>("Button2"), Qt::LeftButton);
        QVERIFY(!win_->isVisible());
        QVERIFY(!win_->saved());
        QCOMPARE(win_->settings().port, 2);

        open(s);
        choose("RadioGroup1", QStringLiteral("Com8"));
        QTest::keyClick(win_.get(), Qt::Key_Escape);
        QVERIFY(!win_->isVisible());
        QVERIFY(!win_->saved());
    }

    void editRunsModallyAndChangesTheSettingsInPlaceOnSave()
    {
        ChannelSettings s = loopSettings();
        s.timTc = 44;
        QTimer::singleShot(0, this, [this] {
            QVERIFY(win_->isModal() && win_->isVisible());
            choose("RadioGroup1", QStringLiteral("Com5"));
            QLineEdit* number = get<QLineEdit>("Edit1");
            number->setFocus();
            QTest::keyClick(number, Qt::Key_Return);   // the default button saves
        });
        QVERIFY(win_->edit(s));
        QCOMPARE(s.port, 4);
        QCOMPARE(s.timTc, 44);
        QCOMPARE(s.phone, std::string("kept"));

        QTimer::singleShot(0, this, [this] {
            choose("RadioGroup1", QStringLiteral("Com1"));
            QTest::mouseClick(get<QPushButton>("Button2"), Qt::LeftButton);
        });
        QVERIFY(!win_->edit(s));
        QCOMPARE(s.port, 4);
    }

    void tabVisitsEachRadioGroupOnceAndArrowsChoose()
    {
        open(loopSettings());
        QRadioButton* com3 = buttons("RadioGroup1")[2];
        com3->setFocus();
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), buttons("RadioGroup2")[1]);   // the chosen link
        QTest::keyClick(focused(), Qt::Key_Down);
        QCOMPARE(chosen("RadioGroup2"), QStringLiteral("ИСМ-1200 (выделенная линия)"));
        QCOMPARE(items("RadioGroup3").size(), 3);        // the arrow key is a choice: speeds follow
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), get<QCheckBox>("CheckBox1"));
        QTest::keyClick(focused(), Qt::Key_Tab);
        QVERIFY2(focused()->parentWidget() == group("RadioGroup3"), focused()->metaObject()->className());
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), get<QLineEdit>("Edit1"));
    }

    void screenshots()
    {
        const QByteArray dir = qgetenv("KV_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("set KV_SCREENSHOT_DIR to save pictures of the window");
        ChannelSettings s = loopSettings();
        s.blok1 = 3;
        s.prot = 1;
        s.channelType = 6;
        s.modem = true;
        s.phone = "84951234567";
        s.inimod = "AT V0 E0 S7=60";
        s.modemMin = 5;
        open(s);
        QVERIFY(win_->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/settings_short.png")));
        s.avto = true;
        s.channelType = 11;
        s.modem = false;
        open(s);
        QVERIFY(win_->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/settings_long_canbus.png")));
        s.channelType = 7;
        s.prot = 0;
        open(s);
        QVERIFY(win_->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/settings_long_mux.png")));
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "TestSettingsWindow.moc"
