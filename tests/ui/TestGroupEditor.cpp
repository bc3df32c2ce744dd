// The group editor on the offscreen platform, driven through its controls as an operator
// would: reference groups, index field, default names, limits, selection modes, closing.
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QtTest>

#include <memory>

#include "ScriptedOperator.h"
#include "app/ParamCatalog.h"
#include "lists/GroupEditing.h"
#include "lists/ParamGroup.h"
#include "lists/ui/GroupEditor.h"
#include "text/Cp1251.h"

using namespace kv;

namespace {

const char* const kReference =
    "Датчики\r\n"
    "Ток датчика;00;01;1F;08\r\n"
    "Частота;00;02;1F;08\r\n"
    "Счетчик импульсов;00;03;1F;02\r\n"
    "Индексный параметр;00;30;1F;08\r\n"
    "Трубопроводы\r\n"
    "Температура подачи;80;01;0F;08\r\n"
    "Расход;80;05;0F;08\r\n"
    "Контроллер\r\n"
    "Групповой описатель;40;50;06;0A\r\n"
    "Групповые значения;40;51;06;04\r\n"
    "Время работы;40;3D;03;08\r\n"
    "Пароль;40;08;00;03\r\n"
    "Время;40;15;00;01\r\n"
    "Дата;40;16;00;00\r\n"
    "Конец\r\n";

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

class TestGroupEditor : public QObject {
    Q_OBJECT
private:
    ParamCatalog catalog_;
    std::unique_ptr<test::ScriptedOperator> op_;
    std::unique_ptr<GroupEditor> editor_;
    std::unique_ptr<ParamGroup> group_;

    template <class T>
    T* w(const char* name) const
    {
        T* c = editor_->findChild<T*>(QString::fromLatin1(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    QListWidget* lbs() const { return w<QListWidget>("LBS"); }
    QListWidget* lbp() const { return w<QListWidget>("LBP"); }
    QSpinBox* index() const { return w<QSpinBox>("SpinEdit1"); }
    QLineEdit* name() const { return w<QLineEdit>("Edit1"); }

    // Types a text key by key (any letters, not only Latin-1).
    static void typeText(QWidget* into, const QString& text)
    {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(into, &press);
            QApplication::sendEvent(into, &release);
        }
    }
    void click(const char* button) { QTest::mouseClick(w<QPushButton>(button), Qt::LeftButton); }
    static void clickRow(QListWidget* list, int row, Qt::KeyboardModifiers mods = {})
    {
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->visualItemRect(list->item(row)).center());
    }
    static void doubleClickRow(QListWidget* list, int row)
    {
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    QRadioButton* radio(const char* text) const
    {
        for (QRadioButton* r : editor_->findChildren<QRadioButton*>())
            if (r->text() == q(text))
                return r;
        qFatal("no radio button %s", text);
    }
    void chooseGroup(int i) { w<QComboBox>("CBG")->setCurrentIndex(i); }
    QStringList rows(QListWidget* list) const
    {
        QStringList r;
        for (int i = 0; i < list->count(); ++i)
            r << list->item(i)->text();
        return r;
    }
    void open(GroupEditor::Mode mode = GroupEditor::Mode::Definition)
    {
        editor_->setMode(mode);
        editor_->begin(*group_);
        editor_->show();
        editor_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor_.get()));
    }
    // `n` entries of the 2-byte time parameter, made in the core.
    void fillWithTimes(int n)
    {
        for (int i = 0; i < n; ++i)
            group_->addParam({0x40, 0x15, 0, 1}, -1, "Время");
    }

private Q_SLOTS:
    void initTestCase()
    {
        ReferenceFile f;
        f.parse(text::toCp1251(kReference));
        catalog_.build(f, 0);
    }
    void init()
    {
        op_ = std::make_unique<test::ScriptedOperator>();
        editor_ = std::make_unique<GroupEditor>(catalog_, *op_);
        group_ = std::make_unique<ParamGroup>();
    }
    void cleanup()
    {
        editor_.reset();
        for (const auto& p : op_->problems())
            QFAIL(p.c_str());
    }

    void anEmptyGroupOpensOnTheFirstReferenceGroup()
    {
        open();
        QCOMPARE(editor_->windowTitle(), q("Определение параметров обмена"));
        auto* cbg = w<QComboBox>("CBG");
        QCOMPARE(cbg->count(), 3);
        QCOMPARE(cbg->currentText(), q("Датчики"));
        QCOMPARE(rows(lbs()), (QStringList{q("Ток датчика"), q("Частота"), q("Счетчик импульсов"), q("Индексный параметр")}));
        QCOMPARE(lbs()->currentRow(), 0);
        QCOMPARE(w<QLabel>("LB4")->text(), q("Номер датчика"));
        QCOMPARE(index()->statusTip(), q("Ввод номера датчика"));
        QCOMPARE(index()->maximum(), 31);
        QVERIFY(w<QLineEdit>("Edit2")->text().isEmpty());
        QCOMPARE(w<QSpinBox>("SpinEdit2")->value(), 0);
        QCOMPARE(w<QSpinBox>("SpinEdit2")->singleStep(), 15);
        QCOMPARE(w<QLabel>("Lop")->text(), q("0"));
        QCOMPARE(w<QLabel>("Ldl")->text(), q("0"));

        // The group descriptor entries are never offered.
        chooseGroup(2);
        QCOMPARE(rows(lbs()), (QStringList{q("Время работы"), q("Пароль"), q("Время"), q("Дата")}));

        // The status bar shows the hint of the control the mouse is over.
        QStatusTipEvent tip(w<QPushButton>("Button1")->statusTip());
        QApplication::sendEvent(w<QPushButton>("Button1"), &tip);
        QCOMPARE(w<QStatusBar>("StatusBar1")->currentMessage(), q("Добавить параметр в список"));

        if (qEnvironmentVariableIsSet("KV_SCREENSHOT_DIR")) {
            chooseGroup(0);
            fillWithTimes(0);
            click("Button1");
            clickRow(lbs(), 1);
            QTest::keyClick(index(), Qt::Key_Up);
            click("Button1");
            w<QLineEdit>("Edit2")->setText(q("Котельная №1"));
            w<QSpinBox>("SpinEdit2")->setValue(60);
            editor_->grab().save(qEnvironmentVariable("KV_SCREENSHOT_DIR") + QStringLiteral("/GroupEditor.png"));
        }
    }

    void oneOffReadingHidesTheGroupFields()
    {
        open(GroupEditor::Mode::OneOffReading);
        QVERIFY(!w<QLineEdit>("Edit2")->isVisible());
        QVERIFY(!w<QSpinBox>("SpinEdit2")->isVisible());
        QVERIFY(!name()->isVisible());
        QVERIFY(!w<QLabel>("Lop")->isVisible());
        QVERIFY(lbs()->isVisible());
        if (qEnvironmentVariableIsSet("KV_SCREENSHOT_DIR"))
            editor_->grab().save(qEnvironmentVariable("KV_SCREENSHOT_DIR") + QStringLiteral("/GroupEditorOneOff.png"));

        // "Ввод" hands the group to the one-off reader and the editor stays open.
        int reads = 0;
        editor_->setOneOffReader([&](ParamGroup& g) {
            QCOMPARE(&g, group_.get());
            ++reads;
        });
        doubleClickRow(lbs(), 0);
        click("Button5");
        QCOMPARE(reads, 1);
        QVERIFY(editor_->isVisible());
        QVERIFY(editor_->accepted());
    }

    void entriesTakeTheIndexAndADefaultOrTypedName()
    {
        open();
        clickRow(lbs(), 0);
        QTest::keyClick(index(), Qt::Key_Up);
        QTest::keyClick(index(), Qt::Key_Up);
        click("Button1");
        QCOMPARE(rows(lbp()), (QStringList{q("Ток датчика (2)")}));
        QCOMPARE(group_->getCode(0), (ParamCode3{0x00, 0x01, 2}));
        QCOMPARE(group_->entry(0)->format, uint8_t(8));
        QVERIFY(name()->text().isEmpty());

        typeText(name(), q("Ток котла"));
        click("Button1");
        QCOMPARE(group_->getName(1), std::string("Ток котла"));
        QCOMPARE(group_->getCode(1)[2], uint8_t(2));

        // A double click adds the row and leaves its name in the field; Enter does the same.
        // The sensor number stays from row to row.
        doubleClickRow(lbs(), 1);
        QCOMPARE(group_->getName(2), std::string("Частота (2)"));
        QCOMPARE(name()->text(), q("Частота (2)"));
        QTest::keyClick(lbs(), Qt::Key_Return);
        QCOMPARE(group_->getName(3), std::string("Частота (2)"));
        QCOMPARE(w<QLabel>("Lop")->text(), q("4"));
        QCOMPARE(w<QLabel>("Ldl")->text(), q("16"));

        // The date parameters get their own format codes.
        chooseGroup(2);
        clickRow(lbs(), 3);
        QVERIFY(!w<QFrame>("IndexFrame")->isVisible());
        click("Button1");
        QCOMPARE(group_->getName(4), std::string("Дата"));
        QCOMPARE(group_->entry(4)->format, kFormatDate);
    }

    void theIndexWrapsAroundAndAClickRelabelsSmallRanges()
    {
        open();
        chooseGroup(2);
        clickRow(lbs(), 0);   // "Время работы", largest index 3
        QCOMPARE(w<QLabel>("LB4")->text(), q("Индекс"));
        QVERIFY(w<QFrame>("IndexFrame")->isVisible());
        QList<int> seen;
        for (int i = 0; i < 5; ++i) {
            seen << index()->value();
            QTest::keyClick(index(), Qt::Key_Up);
        }
        QCOMPARE(seen, (QList<int>{0, 1, 2, 3, 0}));
        index()->setValue(0);
        QTest::keyClick(index(), Qt::Key_Down);
        QCOMPARE(index()->value(), 3);
        QTest::keyClick(index(), Qt::Key_Down);
        click("Button1");
        QCOMPARE(group_->getName(0), std::string("Время работы (2)"));

        // Changing the index clears a typed name.
        typeText(name(), q("abc"));
        QTest::keyClick(index(), Qt::Key_Up);
        QVERIFY(name()->text().isEmpty());

        // A range of 4 values: clicking another row labels it afresh.
        clickRow(lbs(), 1);
        QVERIFY(!w<QFrame>("IndexFrame")->isVisible());
        QCOMPARE(w<QLabel>("LB4")->text(), QString());
        click("Button1");
        QCOMPARE(group_->getCode(1), (ParamCode3{0x40, 0x08, 0}));
        QCOMPARE(group_->getName(1), std::string("Пароль"));
    }

    void sensorsKeepTheirNumberFromRowToRow()
    {
        open();
        index()->setValue(5);
        typeText(name(), q("typed"));
        clickRow(lbs(), 2);
        QCOMPARE(index()->value(), 5);
        QVERIFY(name()->text().isEmpty());
        click("Button1");
        QCOMPARE(group_->getCode(0), (ParamCode3{0x00, 0x03, 5}));
        QCOMPARE(group_->getName(0), std::string("Счетчик импульсов (5)"));

        // An index of another kind is labelled afresh.
        clickRow(lbs(), 3);
        QCOMPARE(w<QLabel>("LB4")->text(), q("Индекс"));
        QCOMPARE(index()->value(), 0);

        // Choosing a reference group always labels its first row.
        chooseGroup(1);
        QCOMPARE(w<QLabel>("LB4")->text(), q("Номер трубопровода"));
        QCOMPARE(index()->maximum(), 15);
        QCOMPARE(index()->value(), 0);
    }

    void theValuesMayNotExceed192Bytes()
    {
        for (int i = 0; i < 47; ++i)
            group_->addParam({0x00, 0x01, 0, 8}, -1, "r");
        fillWithTimes(1);
        open();
        QCOMPARE(w<QLabel>("Ldl")->text(), q("190"));

        op_->expectMessage(kTooLongMessage);
        chooseGroup(0);
        click("Button1");
        QCOMPARE(group_->count(), 48);

        chooseGroup(2);
        clickRow(lbs(), 2);   // "Время", 2 bytes
        click("Button1");
        QCOMPARE(group_->count(), 49);
        QCOMPARE(w<QLabel>("Ldl")->text(), q("192"));
        QCOMPARE(w<QLabel>("Lop")->text(), q("49"));
    }

    void aGroupHoldsAtMost64Entries()
    {
        fillWithTimes(64);
        open();
        chooseGroup(2);
        clickRow(lbs(), 2);
        op_->expectMessage(kTooManyEntriesMessage);
        click("Button1");
        op_->expectMessage(kTooManyEntriesMessage);
        click("Button2");
        QCOMPARE(group_->count(), 64);
        QCOMPARE(lbp()->count(), 64);
    }

    void multipleSelectionAddsInsertsAndDeletesInOrder()
    {
        group_->addParam({0x40, 0x15, 0, 1}, -1, "X");
        open();
        radio("Множественный")->click();
        QVERIFY(!w<QPushButton>("Button6")->isEnabled());
        clickRow(lbp(), 0);   // shows the reference of X: the controller group
        chooseGroup(0);
        clickRow(lbs(), 0);
        clickRow(lbs(), 1, Qt::ControlModifier);
        clickRow(lbs(), 2, Qt::ControlModifier);
        QCOMPARE(lbs()->selectedItems().size(), 3);
        click("Button2");
        QCOMPARE(rows(lbp()), (QStringList{q("Ток датчика (0)"), q("Частота (0)"), q("Счетчик импульсов (0)"), q("X")}));

        // Without a selected entry they go to the end, still in reference order.
        lbp()->clearSelection();
        click("Button2");
        QCOMPARE(rows(lbp()).mid(4), (QStringList{q("Ток датчика (0)"), q("Частота (0)"), q("Счетчик импульсов (0)")}));

        click("Button1");
        QCOMPARE(group_->count(), 10);
        QCOMPARE(group_->getName(9), std::string("Счетчик импульсов (0)"));

        clickRow(lbp(), 1);
        clickRow(lbp(), 3, Qt::ControlModifier);
        clickRow(lbp(), 9, Qt::ControlModifier);
        click("Button3");
        QCOMPARE(group_->count(), 7);
        QCOMPARE(group_->getName(1), std::string("Счетчик импульсов (0)"));
        QCOMPARE(rows(lbp()).size(), 7);
        QCOMPARE(w<QLabel>("Lop")->text(), q("7"));

        // A limit stops the run at the first refusal.
        for (int i = group_->count(); i < 63; ++i)
            group_->addParam({0x40, 0x15, 0, 1}, -1, "t");
        editor_->begin(*group_);
        chooseGroup(2);
        clickRow(lbs(), 2);
        clickRow(lbs(), 3, Qt::ControlModifier);
        op_->expectMessage(kTooManyEntriesMessage);
        click("Button1");
        QCOMPARE(group_->count(), 64);
        QCOMPARE(group_->getName(63), std::string("Время"));
    }

    void clickingAnEntryShowsItsReferenceParameter()
    {
        group_->addParam({0x00, 0x02, 7, 8}, -1, "Частота котла");
        group_->addParam({0x80, 0x05, 3, 8}, -1, "Мой расход");
        open();
        // Opening shows the reference of entry 0.
        QCOMPARE(lbp()->currentRow(), 0);
        QCOMPARE(w<QComboBox>("CBG")->currentIndex(), 0);
        QCOMPARE(lbs()->currentRow(), 1);
        QCOMPARE(index()->value(), 7);
        QCOMPARE(name()->text(), q("Частота котла"));
        QCOMPARE(w<QLineEdit>("Edit2")->text(), QString());

        clickRow(lbp(), 1);
        QCOMPARE(w<QComboBox>("CBG")->currentText(), q("Трубопроводы"));
        QCOMPARE(lbs()->currentItem()->text(), q("Расход"));
        QCOMPARE(w<QLabel>("LB4")->text(), q("Номер трубопровода"));
        QCOMPARE(index()->value(), 3);
        QCOMPARE(name()->text(), q("Мой расход"));

        // Change replaces the selected entry from the selected reference row; bounds stay.
        group_->setBound(1, 0, 1.0);
        group_->setBound(1, 1, 2.0);
        clickRow(lbs(), 0);
        QCOMPARE(index()->value(), 3);   // the pipeline number stays
        QTest::keyClick(index(), Qt::Key_Up);
        click("Button6");
        QCOMPARE(group_->getCode(1), (ParamCode3{0x80, 0x01, 4}));
        QCOMPARE(group_->getName(1), std::string("Температура подачи (4)"));
        QCOMPARE(lbp()->item(1)->text(), q("Температура подачи (4)"));
        QCOMPARE(group_->getBound(1, 1), 2.0);
        QCOMPARE(group_->count(), 2);
    }

    void namesAreLimitedTo39Characters()
    {
        open();
        typeText(name(), QString(45, QChar(u'ж')));
        QCOMPARE(name()->text().size(), 39);
        QTest::keyClick(name(), Qt::Key_Backspace);
        QCOMPARE(name()->text().size(), 38);
        typeText(w<QLineEdit>("Edit2"), QString(45, QChar(u'ж')));
        QCOMPARE(w<QLineEdit>("Edit2")->text().size(), 39);
    }

    void enterNeedsEntriesANameAndAPeriod()
    {
        open();
        op_->expectQuestion(kNoEntriesQuestion, true);
        click("Button5");
        QVERIFY(editor_->isVisible());

        doubleClickRow(lbs(), 0);
        click("Button5");
        QVERIFY(editor_->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w<QLineEdit>("Edit2")));

        typeText(w<QLineEdit>("Edit2"), q("Котельная"));
        click("Button5");
        QVERIFY(editor_->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w<QSpinBox>("SpinEdit2")));

        QTest::keyClick(w<QSpinBox>("SpinEdit2"), Qt::Key_Up);
        click("Button5");
        QVERIFY(!editor_->isVisible());
        QVERIFY(editor_->accepted());
        QCOMPARE(group_->name(), std::string("Котельная"));
        QCOMPARE(group_->period(), 15);
    }

    void anEmptyGroupAnsweredNoClosesWithoutAcceptance()
    {
        open();
        op_->expectQuestion(kNoEntriesQuestion, false);
        click("Button5");
        QVERIFY(!editor_->isVisible());
        QVERIFY(!editor_->accepted());

        open();
        doubleClickRow(lbs(), 0);
        click("Button4");
        QVERIFY(!editor_->isVisible());
        QVERIFY(!editor_->accepted());
    }
};

QTEST_MAIN(TestGroupEditor)
#include "TestGroupEditor.moc"
