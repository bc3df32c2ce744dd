// The bit-signal description editor on the offscreen platform, alone and inside the list
// window's bit-signal mode.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "ScriptedOperator.h"
#include "WhenShown.h"
#include "lists/ui/ListWindow.h"
#include "telecontrol/ui/BitSignalEditor.h"

using namespace kv;

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

using test::whenShown;

// Types Cyrillic text key by key, as a keyboard would (QTest's key clicks take Latin-1 only).
void type(QWidget* target, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

BitSignal described(const std::string& name, uint8_t kind, uint8_t bit)
{
    BitSignal s;
    s.name = name;
    s.kind = kind;
    s.bit = bit;
    s.normalText = "норма";
    s.alarmText = "авария";
    return s;
}

} // namespace

class TestBitSignalEditor : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::ScriptedOperator> op_;
    std::unique_ptr<BitSignalEditor> ed_;
    BitSignalTable table_;

    template <class T>
    T* w(const char* name)
    {
        T* c = ed_->findChild<T*>(QString::fromLatin1(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    void chooseKind(int item)
    {
        w<QComboBox>("ComboBox1")->setCurrentIndex(item);
        Q_EMIT w<QComboBox>("ComboBox1")->activated(item);
    }
    QStringList kindItems()
    {
        QStringList l;
        for (int i = 0; i < w<QComboBox>("ComboBox1")->count(); ++i)
            l << w<QComboBox>("ComboBox1")->itemText(i);
        return l;
    }

private Q_SLOTS:
    void init()
    {
        op_ = std::make_unique<test::ScriptedOperator>();
        ed_ = std::make_unique<BitSignalEditor>(*op_);
        table_.clear();
    }
    void cleanup()
    {
        ed_.reset();
        for (const auto& p : op_->problems())
            QFAIL(p.c_str());
    }

    void minimalControllerOffersItsFewBitsAndWraps()
    {
        ed_->prepare(table_, 1, BitSignalEdit::Add, 0, q(kAddBitSignalCaption));
        QCOMPARE(ed_->windowTitle(), q(kAddBitSignalCaption));
        QCOMPARE(kindItems(), (QStringList{q("Вход"), q("Выход")}));
        QCOMPARE(w<QComboBox>("ComboBox1")->currentIndex(), 0);
        auto* pos = w<QSpinBox>("SpinEdit1");
        QCOMPARE(pos->maximum(), 7);
        pos->setValue(7);
        pos->stepUp();
        QCOMPARE(pos->value(), 0);
        pos->stepDown();
        QCOMPARE(pos->value(), 7);

        chooseKind(1);
        QCOMPARE(pos->minimum(), 0);
        QCOMPARE(pos->maximum(), 1);
        QCOMPARE(pos->value(), 0);

        auto* normal = w<QSpinBox>("SpinEdit2");
        QCOMPARE(normal->value(), 0);
        normal->stepDown();
        QCOMPARE(normal->value(), 1);
        normal->stepUp();
        QCOMPARE(normal->value(), 0);
    }

    void matrixPositionsAreStoredAsModuleAndBit()
    {
        ed_->prepare(table_, 2, BitSignalEdit::Add, 0, q(kAddBitSignalCaption));
        QCOMPARE(kindItems().size(), 8);
        chooseKind(2);
        QCOMPARE(w<QComboBox>("ComboBox1")->currentText(), q("Вход ККД2"));
        QCOMPARE(w<QSpinBox>("SpinEdit1")->value(), 128);
        w<QSpinBox>("SpinEdit1")->setValue(130);
        w<QLineEdit>("Edit1")->setText(q("Клапан подачи"));
        w<QSpinBox>("SpinEdit2")->setValue(1);
        w<QLineEdit>("Edit2")->setText(q("закрыт"));
        w<QLineEdit>("Edit3")->setText(q("открыт"));
        QTest::mouseClick(w<QPushButton>("Button1"), Qt::LeftButton);
        QCOMPARE(ed_->savedMode(), 2);
        QCOMPARE(ed_->result(), int(QDialog::Accepted));
        QCOMPARE(table_.count(), 1);
        QCOMPARE(int(table_.at(0).bit), 2);
        QCOMPARE(int(table_.at(0).kind), 0x02);
        QCOMPARE(int(table_.at(0).normal), 1);
        QCOMPARE(table_.at(0).alarmText, std::string("открыт"));

        // Change mode shows it again as it was entered.
        ed_->prepare(table_, 2, BitSignalEdit::Change, 0, q(kChangeBitSignalCaption));
        QCOMPARE(w<QComboBox>("ComboBox1")->currentIndex(), 2);
        QCOMPARE(w<QSpinBox>("SpinEdit1")->value(), 130);
        QCOMPARE(w<QLineEdit>("Edit1")->text(), q("Клапан подачи"));
        QCOMPARE(w<QSpinBox>("SpinEdit2")->value(), 1);
    }

    void typingStopsAtTheFieldLimits()
    {
        table_.append(described("Очень длинное имя сигнала 2", 0, 1));
        ed_->prepare(table_, 0, BitSignalEdit::Change, 0, q(kChangeBitSignalCaption));
        // A longer name from the file is shown whole, but nothing more can be typed.
        QCOMPARE(w<QLineEdit>("Edit1")->text().size(), 27);
        type(w<QLineEdit>("Edit1"), QStringLiteral("x"));
        QCOMPARE(w<QLineEdit>("Edit1")->text().size(), 27);

        ed_->prepare(table_, 0, BitSignalEdit::Add, 1, q(kAddBitSignalCaption));
        type(w<QLineEdit>("Edit1"), q("Сигнал номер двадцать пять"));
        QCOMPARE(w<QLineEdit>("Edit1")->text(), q("Сигнал номер двадцать"));
        QTest::keyClick(w<QLineEdit>("Edit1"), Qt::Key_Backspace);
        type(w<QLineEdit>("Edit1"), q("ь!"));
        QCOMPARE(w<QLineEdit>("Edit1")->text(), q("Сигнал номер двадцать"));
        type(w<QLineEdit>("Edit2"), q("нормальное сост"));
        QCOMPARE(w<QLineEdit>("Edit2")->text(), q("нормальное сос"));
        type(w<QLineEdit>("Edit3"), q("авария насоса 2"));
        QCOMPARE(w<QLineEdit>("Edit3")->text(), q("авария насоса "));
    }

    void savingRefusesAndFocusesTheFieldAtFault()
    {
        table_.append(described("A", 0x00, 3));
        ed_->show();
        QVERIFY(QTest::qWaitForWindowActive(ed_.get()));

        ed_->prepare(table_, 3, BitSignalEdit::Add, 1, q(kAddBitSignalCaption));
        w<QSpinBox>("SpinEdit1")->setFocus();
        QTest::mouseClick(w<QPushButton>("Button1"), Qt::LeftButton);
        QVERIFY(w<QLineEdit>("Edit1")->hasFocus());
        QVERIFY(ed_->isVisible());

        w<QLineEdit>("Edit1")->setText(q("B"));
        w<QSpinBox>("SpinEdit1")->setValue(3);
        w<QLineEdit>("Edit1")->setFocus();
        op_->expectMessage("Вход 3 уже определен ");
        QTest::mouseClick(w<QPushButton>("Button1"), Qt::LeftButton);
        QVERIFY(w<QSpinBox>("SpinEdit1")->hasFocus());
        QVERIFY(ed_->isVisible());
        QCOMPARE(ed_->savedMode(), 0);
        QCOMPARE(table_.count(), 1);

        QTest::mouseClick(w<QPushButton>("Button2"), Qt::LeftButton);
        QVERIFY(!ed_->isVisible());
        QCOMPARE(ed_->savedMode(), 0);
        QCOMPARE(table_.count(), 1);
    }

    // The list window's bit-signal mode with the real editor.
    void listWindowAddsInsertsAndRefusesThe65th()
    {
        ListWindow list(*op_);
        BitSignalListItems items(table_, *ed_, [] { return 1; });
        list.setItems(ListMode::BitSignals, &items);
        table_.append(described("Дверь", 0x00, 1));
        table_.append(described("Насос", 0x10, 0));
        QVERIFY(list.prepare(ListMode::BitSignals, q(kBitSignalListCaption), 14));
        auto* rows = list.findChild<QListWidget*>(QStringLiteral("LBO"));
        QCOMPARE(rows->count(), 2);
        QCOMPARE(rows->item(1)->text(), q("Насос                          [Выход             0]"));

        // Insert before row 1: the editor opens with its caption; the new row lands at 1.
        rows->setCurrentRow(1);
        whenShown(ed_.get(), [this] {
            QCOMPARE(ed_->windowTitle(), q(kInsertBitSignalCaption));
            w<QLineEdit>("Edit1")->setText(q("Свет"));
            w<QSpinBox>("SpinEdit1")->setValue(7);
            QTest::mouseClick(w<QPushButton>("Button1"), Qt::LeftButton);
        });
        list.insertItem();
        QCOMPARE(rows->count(), 3);
        QCOMPARE(rows->item(1)->text(), q("Свет                           [Вход              7]"));
        QCOMPARE(list.selectedRow(), 1);
        QCOMPARE(table_.at(2).name, std::string("Насос"));

        // Cancelled: nothing changes.
        whenShown(ed_.get(), [this] { QTest::mouseClick(w<QPushButton>("Button2"), Qt::LeftButton); });
        list.addItem();
        QCOMPARE(rows->count(), 3);

        // Change.
        whenShown(ed_.get(), [this] {
            QCOMPARE(ed_->windowTitle(), q(kChangeBitSignalCaption));
            w<QLineEdit>("Edit1")->setText(q("Свет в зале"));
            QTest::mouseClick(w<QPushButton>("Button1"), Qt::LeftButton);
        });
        list.changeItem();
        QCOMPARE(rows->item(1)->text(), q("Свет в зале                    [Вход              7]"));

        list.deleteItem();
        QCOMPARE(rows->count(), 2);
        QCOMPARE(table_.at(1).name, std::string("Насос"));
        QVERIFY(!table_.at(2).used());

        while (table_.count() < kBitSignalSlots)
            table_.append(described("f", 0x00, uint8_t(table_.count())));
        op_->expectMessage(kBitSignalLimitMessage);
        list.addItem();
        QCOMPARE(table_.count(), 64);
    }

    void picture()
    {
        const QByteArray dir = qgetenv("KV_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("set KV_SCREENSHOT_DIR to save a picture of the editor");
        table_.append(described("Насос подпитки", 0x11, 6));
        table_.at(0).normalText = "отключен";
        table_.at(0).alarmText = "включен";
        ed_->prepare(table_, 2, BitSignalEdit::Change, 0, q(kChangeBitSignalCaption));
        ed_->show();
        QVERIFY(QTest::qWaitForWindowExposed(ed_.get()));
        QVERIFY(ed_->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/bit_signal_editor.png")));
    }
};

QTEST_MAIN(TestBitSignalEditor)
#include "TestBitSignalEditor.moc"
