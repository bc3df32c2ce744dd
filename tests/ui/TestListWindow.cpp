// The list window on the offscreen platform: the group mode with the real group editor on the
// demo reference, and the window's own rules with a list of another mode plugged in.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <memory>

#include "ScriptedOperator.h"
#include "WhenShown.h"
#include "app/ParamCatalog.h"
#include "lists/GroupEditing.h"
#include "lists/GroupList.h"
#include "lists/ui/GroupEditor.h"
#include "lists/ui/GroupListItems.h"
#include "lists/ui/ListWindow.h"

using namespace kv;

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

using test::whenShown;

// A list of another mode: plain texts with a limit, as the later list kinds will plug in.
class TextItems final : public ListItems {
public:
    QStringList items;
    int max = 3;
    int edits = 0;
    int count() const override { return int(items.size()); }
    QString rowText(int pos) const override { return items.at(pos); }
    int limit() const override { return max; }
    std::string limitMessage() const override { return "Количество отчетов не может быть бльше 100"; }
    bool add(int pos, bool insert) override
    {
        items.insert(insert ? pos : items.size(), QStringLiteral("new"));
        return true;
    }
    bool change(int pos) override
    {
        ++edits;
        items[pos] += QStringLiteral("*");
        return true;
    }
    void remove(int pos) override { items.removeAt(pos); }
};

} // namespace

class TestListWindow : public QObject {
    Q_OBJECT
private:
    ParamCatalog catalog_;
    std::unique_ptr<test::ScriptedOperator> op_;
    std::unique_ptr<GroupEditor> editor_;
    std::unique_ptr<GroupList> groups_;
    std::unique_ptr<GroupListItems> items_;
    std::unique_ptr<ListWindow> win_;

    template <class T>
    static T* w(QWidget* in, const char* name)
    {
        T* c = in->findChild<T*>(QString::fromLatin1(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    QListWidget* lbo() const { return w<QListWidget>(win_.get(), "LBO"); }
    void click(const char* button) { QTest::mouseClick(w<QPushButton>(win_.get(), button), Qt::LeftButton); }
    void clickEditor(const char* button) { QTest::mouseClick(w<QPushButton>(editor_.get(), button), Qt::LeftButton); }
    QStringList rows() const
    {
        QStringList r;
        for (int i = 0; i < lbo()->count(); ++i)
            r << lbo()->item(i)->text();
        return r;
    }
    void addGroup(const char* name, int entries)
    {
        auto g = std::make_unique<ParamGroup>();
        g->setGroup(name, 30);
        for (int i = 0; i < entries; ++i)
            g->addParam({0x80, 0x01, uint8_t(i), 8}, -1, std::string(name) + " " + std::to_string(i));
        groups_->append(std::move(g));
    }
    void open()
    {
        QVERIFY(win_->prepare(ListMode::Groups, q("Список параметров обмена "), 9));
        win_->show();
    }
    // In the editor: a name, one period step, the first reference parameter, "Ввод".
    void defineGroupWhenShown(const char* name)
    {
        whenShown(editor_.get(), [this, name] {
            auto* edit2 = w<QLineEdit>(editor_.get(), "Edit2");
            edit2->setText(q(name));
            QTest::keyClick(w<QSpinBox>(editor_.get(), "SpinEdit2"), Qt::Key_Up);
            auto* lbs = w<QListWidget>(editor_.get(), "LBS");
            lbs->setCurrentRow(0);
            QTest::keyClick(lbs, Qt::Key_Return);
            clickEditor("Button5");
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The demo work folder's reference, copied as a user's folder would hold it.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        namespace fs = std::filesystem;
        fs::copy_file(fs::path(KV_SOURCE_DIR) / "data" / "demo" / "Sprav.txt", fs::path(dir.path().toStdString()) / "SPRAV.TXT");
        ReferenceFile f;
        QCOMPARE(int(f.load(dir.path().toStdString())), int(ReferenceLoad::Loaded));
        catalog_.build(f, 0);
        QVERIFY(!catalog_.referenceGroups().empty());
    }
    void init()
    {
        op_ = std::make_unique<test::ScriptedOperator>();
        editor_ = std::make_unique<GroupEditor>(catalog_, *op_);
        groups_ = std::make_unique<GroupList>();
        items_ = std::make_unique<GroupListItems>(*groups_, *editor_);
        win_ = std::make_unique<ListWindow>(*op_);
        win_->setItems(ListMode::Groups, items_.get());
    }
    void cleanup()
    {
        win_.reset();
        editor_.reset();
        for (const auto& p : op_->problems())
            QFAIL(p.c_str());
    }

    void opensWithTheMenuCaptionAndTheFirstRowSelected()
    {
        QCOMPARE(win_->windowTitle(), q("Список параметров обмена"));
        addGroup("Котельная", 3);
        addGroup("ЦТП", 1);
        open();
        QCOMPARE(win_->windowTitle(), q("Список параметров обмена "));
        QCOMPARE(win_->property("helpContext").toInt(), 9);
        QCOMPARE(rows(), (QStringList{q("Котельная"), q("ЦТП")}));
        QCOMPARE(win_->selectedRow(), 0);
        QStringList captions;
        for (const char* b : {"Button1", "Button2", "Button3", "Button4", "Button5"})
            captions << w<QPushButton>(win_.get(), b)->text();
        QCOMPARE(captions, (QStringList{q("Изменить"), q("Добавить"), q("Вставить"), q("Удалить"), q("Выход")}));
        if (qEnvironmentVariableIsSet("KV_SCREENSHOT_DIR"))
            win_->grab().save(qEnvironmentVariable("KV_SCREENSHOT_DIR") + QStringLiteral("/ListWindow.png"));

        // "Выход" closes; the changes are already in the list.
        click("Button5");
        QVERIFY(!win_->isVisible());

        // A mode without a list shows nothing.
        QVERIFY(!win_->run(ListMode::Reports, q("Список отчетов "), 11));
        QVERIFY(!win_->isVisible());

        groups_->clear();
        open();
        QCOMPARE(win_->selectedRow(), -1);
        click("Button1");   // nothing to change
        click("Button4");   // nothing to delete
        QCOMPARE(groups_->size(), 0);
    }

    void addDefinesANewGroupAtTheEndAndCancelLeavesNoTrace()
    {
        addGroup("Котельная", 3);
        open();
        defineGroupWhenShown("Новая");
        click("Button2");
        QCOMPARE(groups_->size(), 2);
        QCOMPARE(rows(), (QStringList{q("Котельная"), q("Новая")}));
        QCOMPARE(win_->selectedRow(), 1);
        const ParamGroup& g = groups_->at(1);
        QCOMPARE(g.period(), 15);
        QCOMPARE(g.count(), 1);
        QCOMPARE(g.getCode(0), (ParamCode3{0x00, 0x00, 0}));   // the first parameter of the demo reference

        bool opened = false;
        whenShown(editor_.get(), [&] {
            opened = true;
            auto* lbs = w<QListWidget>(editor_.get(), "LBS");
            QTest::keyClick(lbs, Qt::Key_Return);
            clickEditor("Button4");
        });
        click("Button2");
        QVERIFY(opened);
        QCOMPARE(groups_->size(), 2);
        QCOMPARE(rows(), (QStringList{q("Котельная"), q("Новая")}));
    }

    void insertPutsTheNewGroupBeforeTheSelectedRow()
    {
        addGroup("A", 1);
        addGroup("C", 1);
        open();
        lbo()->setCurrentRow(1);
        defineGroupWhenShown("B");
        click("Button3");
        QCOMPARE(rows(), (QStringList{q("A"), q("B"), q("C")}));
        QCOMPARE(groups_->at(1).name(), std::string("B"));
        QCOMPARE(win_->selectedRow(), 1);
    }

    void theEighthGroupIsRefusedWithoutOpeningTheEditor()
    {
        for (int i = 0; i < 7; ++i)
            addGroup("G", 1);
        open();
        bool opened = false;
        whenShown(editor_.get(), [&] {
            opened = true;
            clickEditor("Button4");
        });
        op_->expectMessage(kTooManyGroupsMessage);
        click("Button2");
        op_->expectMessage(kTooManyGroupsMessage);
        click("Button3");
        QVERIFY(!opened);
        QCOMPARE(groups_->size(), 7);
    }

    void changeEditsAWorkingCopy()
    {
        addGroup("Котельная", 3);
        groups_->at(0).setBound(2, 0, 1.5);
        groups_->at(0).setBound(2, 1, 9.5);
        open();

        // Cancel: whatever the editor did stays in the copy.
        whenShown(editor_.get(), [this] {
            w<QLineEdit>(editor_.get(), "Edit2")->setText(q("Другое"));
            w<QListWidget>(editor_.get(), "LBP")->setCurrentRow(0);
            clickEditor("Button3");
            clickEditor("Button4");
        });
        click("Button1");
        QCOMPARE(groups_->at(0).name(), std::string("Котельная"));
        QCOMPARE(groups_->at(0).count(), 3);

        // Accepted (opened by a double click): name, entries with their bounds and period come back.
        whenShown(editor_.get(), [this] {
            QCOMPARE(w<QLineEdit>(editor_.get(), "Edit2")->text(), q("Котельная"));
            QCOMPARE(w<QSpinBox>(editor_.get(), "SpinEdit2")->value(), 30);
            if (qEnvironmentVariableIsSet("KV_SCREENSHOT_DIR"))
                editor_->grab().save(qEnvironmentVariable("KV_SCREENSHOT_DIR") + QStringLiteral("/GroupEditorDemo.png"));
            w<QLineEdit>(editor_.get(), "Edit2")->setText(q("Котельная 2"));
            w<QListWidget>(editor_.get(), "LBP")->setCurrentRow(0);
            clickEditor("Button3");
            clickEditor("Button5");
        });
        const QPoint at = lbo()->visualItemRect(lbo()->item(0)).center();
        QTest::mouseClick(lbo()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(lbo()->viewport(), Qt::LeftButton, {}, at);
        const ParamGroup& g = groups_->at(0);
        QCOMPARE(g.name(), std::string("Котельная 2"));
        QCOMPARE(rows(), (QStringList{q("Котельная 2")}));
        QCOMPARE(g.count(), 2);
        QCOMPARE(g.getName(0), std::string("Котельная 1"));
        QCOMPARE(g.getBound(1, 1), 9.5);
        QCOMPARE(g.period(), 30);
    }

    void deleteRemovesAtOnceAndKeepsTheRowNumber()
    {
        addGroup("A", 1);
        addGroup("B", 1);
        addGroup("C", 1);
        open();
        lbo()->setCurrentRow(1);
        click("Button4");
        QCOMPARE(rows(), (QStringList{q("A"), q("C")}));
        QCOMPARE(win_->selectedRow(), 1);
        click("Button4");   // the last row: the one before it is selected
        QCOMPARE(rows(), (QStringList{q("A")}));
        QCOMPARE(win_->selectedRow(), 0);
        QCOMPARE(groups_->size(), 1);
        QCOMPARE(groups_->at(0).name(), std::string("A"));
    }

    void otherModesPlugInThroughTheirList()
    {
        TextItems texts;
        texts.items = {QStringLiteral("first"), QStringLiteral("second")};
        win_->setItems(ListMode::Reports, &texts);
        QVERIFY(win_->prepare(ListMode::Reports, q("Список отчетов "), 11));
        win_->show();
        QCOMPARE(win_->mode(), ListMode::Reports);
        QCOMPARE(rows(), texts.items);

        lbo()->setCurrentRow(1);
        click("Button3");
        QCOMPARE(rows(), (QStringList{QStringLiteral("first"), QStringLiteral("new"), QStringLiteral("second")}));
        QCOMPARE(win_->selectedRow(), 1);
        op_->expectMessage("Количество отчетов не может быть бльше 100");
        click("Button2");
        QCOMPARE(texts.items.size(), 3);

        QTest::keyClick(lbo(), Qt::Key_Return);   // Enter changes the selected row
        QCOMPARE(texts.edits, 1);
        QCOMPARE(rows().at(1), QStringLiteral("new*"));
        win_->setItems(ListMode::Reports, nullptr);
    }
};

QTEST_MAIN(TestListWindow)
#include "TestListWindow.moc"
