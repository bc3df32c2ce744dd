// The tolerance bounds editor driven as the operator drives it, on the offscreen platform:
// walking the tree, typing bounds, storing with and without the question, the sound file.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

#include "ScriptedOperator.h"
#include "lists/ui/ToleranceWindow.h"
#include "protocol/ControllerReal.h"

using namespace kv;

class TestToleranceWindow : public QObject {
    Q_OBJECT
private:
    GroupList groups_;
    test::ScriptedOperator op_;
    std::unique_ptr<ToleranceWindow> win_;

    template <class T>
    T* get(const char* name)
    {
        T* w = win_->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QTreeWidget* tree() { return get<QTreeWidget>("TV"); }
    QLineEdit* lower() { return get<QLineEdit>("Edit1"); }
    QLineEdit* upper() { return get<QLineEdit>("Edit2"); }
    QWidget* panel() { return get<QWidget>("Panel1"); }
    QLineEdit* fileField() { return get<QWidget>("FilenameEdit1")->findChild<QLineEdit*>(); }
    QTreeWidgetItem* node(int group, int entry = -1, int bound = -1)
    {
        QTreeWidgetItem* it = tree()->topLevelItem(group);
        if (entry >= 0)
            it = it->child(entry);
        if (bound >= 0)
            it = it->child(bound);
        return it;
    }
    void retype(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    void open(const std::string& sound = {}, char decimal = '.')
    {
        win_ = std::make_unique<ToleranceWindow>(op_);
        win_->setDecimalSeparator(decimal);
        win_->activate(groups_, sound, "/work/folder/");
        win_->show();
        QVERIFY(QTest::qWaitForWindowExposed(win_.get()));
    }

private Q_SLOTS:
    void init()
    {
        groups_.clear();
        auto a = std::make_unique<ParamGroup>();
        a->setGroup("Котельная", 10);
        a->addParam({0x00, 0x20, 1, kFormatReal}, -1, "Температура 1");
        a->addParam({0x40, 0x20, 0, kFormatReal}, -1, "Часы");
        a->addParam({0x80, 0x05, 3, kFormatReal}, -1, "Расход 3");
        a->setBound(2, 0, 1.5);
        a->setBound(2, 1, 80);
        groups_.append(std::move(a));
        auto b = std::make_unique<ParamGroup>();
        b->setGroup("Котельная", 20);
        b->addParam({0x00, 0x20, 1, kFormatReal}, -1, "Температура 1");
        groups_.append(std::move(b));
        op_ = test::ScriptedOperator();
    }
    void cleanup()
    {
        QVERIFY2(op_.problems().empty(), qPrintable(QString::fromStdString(
                                              op_.problems().empty() ? std::string() : op_.problems().front())));
        win_.reset();
    }

    void treeShowsGroupsEntriesAndBoundsOfSensorAndPipelineEntries()
    {
        open();
        QCOMPARE(win_->windowTitle(), QStringLiteral("Определение  допустимых значений параметров"));
        QCOMPARE(tree()->topLevelItemCount(), 2);
        QCOMPARE(node(0)->text(0), QStringLiteral("Котельная"));
        QCOMPARE(node(0)->childCount(), 3);
        QCOMPARE(node(0, 0, 0)->text(0), QStringLiteral("min=  0.000"));
        QCOMPARE(node(0, 2, 0)->text(0), QStringLiteral("min=  1.500"));
        QCOMPARE(node(0, 2, 1)->text(0), QStringLiteral("max= 80.000"));
        QCOMPARE(node(0, 1)->childCount(), 0);   // a controller parameter takes no bounds
        QCOMPARE(tree()->currentItem(), node(0));
        QVERIFY(!panel()->isVisible());
        QVERIFY(!get<QWidget>("FilenameEdit1")->isVisible());

        tree()->setCurrentItem(node(0, 1));
        QVERIFY(!panel()->isVisible());
        tree()->setCurrentItem(node(0, 2));
        QVERIFY(panel()->isVisible());
        QCOMPARE(get<QLabel>("Label4")->text(), QStringLiteral("Расход 3"));
        QCOMPARE(lower()->text(), QStringLiteral("  1.500"));
        QCOMPARE(upper()->text(), QStringLiteral(" 80.000"));
        const QImage shot = win_->grab().toImage();
        QVERIFY(!shot.isNull());
        if (qEnvironmentVariableIsSet("KV_GRAB_DIR"))
            shot.save(qEnvironmentVariable("KV_GRAB_DIR") + QStringLiteral("/ToleranceWindow.png"));
        tree()->setCurrentItem(node(0, 2, 1));   // a bound node hides the panel; nothing typed, no question
        QVERIFY(!panel()->isVisible());

    }

    void storingChangesTheChosenGroupsEntryAndRenewsItsNodes()
    {
        open({}, ',');
        tree()->setCurrentItem(node(1, 0));
        QCOMPARE(lower()->text(), QStringLiteral("  0,000"));
        retype(lower(), QStringLiteral("5.5x"));   // the point becomes a comma, the letter is dropped
        QCOMPARE(lower()->text(), QStringLiteral("5,5"));
        retype(upper(), QStringLiteral("90"));
        QTest::mouseClick(get<QPushButton>("Button3"), Qt::LeftButton);   // no question
        QCOMPARE(groups_.at(1).getBound(0, 0), 5.5);
        QCOMPARE(groups_.at(1).getBound(0, 1), 90.0);
        QCOMPARE(groups_.at(0).getBound(0, 0), 0.0);   // same group and entry names, other group
        QCOMPARE(node(1, 0, 0)->text(0), QStringLiteral("min=  5,500"));
        QCOMPARE(node(1, 0, 1)->text(0), QStringLiteral("max= 90,000"));
        QVERIFY(win_->boundsChanged());
    }

    void leavingAnEditedEntryAsksAndARefusalKeepsTheSelection()
    {
        open();
        tree()->setCurrentItem(node(0, 0));
        retype(lower(), QStringLiteral("10"));
        retype(upper(), QStringLiteral("5"));
        tree()->setCurrentItem(node(0, 2));   // lower above upper: no question, stays
        QCOMPARE(tree()->currentItem(), node(0, 0));
        QVERIFY(lower()->hasFocus());
        QCOMPARE(groups_.at(0).getBound(0, 0), 0.0);

        retype(upper(), QStringLiteral("20"));
        op_.expectQuestion("Внести изменения ?", false);
        tree()->setCurrentItem(node(0, 2));
        QCOMPARE(tree()->currentItem(), node(0, 0));
        QCOMPARE(groups_.at(0).getBound(0, 1), 0.0);
        QVERIFY(!win_->boundsChanged());

        // "Отмена" shows the stored bounds again, the edit still counts as typed.
        QTest::mouseClick(get<QPushButton>("Button5"), Qt::LeftButton);
        QCOMPARE(lower()->text(), QStringLiteral("  0.000"));
        retype(lower(), QStringLiteral("-3"));
        retype(upper(), QStringLiteral("+7"));
        op_.expectQuestion("Внести изменения ?", true);
        tree()->setCurrentItem(node(0, 2));
        QCOMPARE(tree()->currentItem(), node(0, 2));
        QCOMPARE(groups_.at(0).getBound(0, 0), -3.0);
        QCOMPARE(groups_.at(0).getBound(0, 1), 7.0);
        QCOMPARE(node(0, 0, 0)->text(0), QStringLiteral("min= -3.000"));
    }

    void exitKeepsTheSoundFileOnlyWithTheBoxAndDropsUnstoredBounds()
    {
        open("old.wav");
        QVERIFY(get<QCheckBox>("CheckBox1")->isChecked());
        QCOMPARE(fileField()->text(), QStringLiteral("old.wav"));
        QVERIFY(get<QWidget>("FilenameEdit1")->isVisible());
        fileField()->setText(QStringLiteral("alarm.wav"));
        tree()->setCurrentItem(node(0, 0));
        retype(lower(), QStringLiteral("1"));
        QTest::mouseClick(get<QPushButton>("Button1"), Qt::LeftButton);
        QCOMPARE(win_->soundFile(), std::string("alarm.wav"));
        QCOMPARE(groups_.at(0).getBound(0, 0), 0.0);
        QVERIFY(!win_->isVisible());

        open("old.wav");
        get<QCheckBox>("CheckBox1")->click();
        QVERIFY(!get<QWidget>("FilenameEdit1")->isVisible());
        QTest::mouseClick(get<QPushButton>("Button1"), Qt::LeftButton);
        QCOMPARE(win_->soundFile(), std::string());
    }

    void violationViewListsOutOfBoundsEntriesAndOpensTheEditor()
    {
        // Group 0: the temperature (bounds 10..20) reads 25, the flow (1.5..80) reads 40.
        // Group 1: no bounds, no rows.
        ParamGroup& g = groups_.at(0);
        g.setBound(0, 0, 10);
        g.setBound(0, 1, 20);
        uint8_t area[kDescrAreaSize];
        g.makeDescr(area);
        const auto put = [&g](int pos, double v) {
            const auto b = encodeControllerReal(v);
            std::copy(b.begin(), b.end(), g.reply().begin() + g.entry(pos)->replyOffset);
        };
        put(0, 25.0);
        put(2, 40.0);
        groups_.at(1).makeDescr(area);

        ToleranceWindow editor(op_);
        ViolationView view(editor);
        std::string sound = "tol.wav";
        view.fill(groups_, ValueStyle{true, '.'}, sound, "/work/folder/");
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.windowTitle(), QStringLiteral("Выход параметров за допуск"));
        auto* grid = view.findChild<QTableWidget*>(QStringLiteral("StringGrid1"));
        QVERIFY(grid);
        QCOMPARE(grid->horizontalHeaderItem(4)->text(), QStringLiteral("Максиум"));
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("Котельная"));
        QCOMPARE(grid->item(0, 1)->text(), QStringLiteral("Температура 1"));
        QCOMPARE(grid->item(0, 2)->text(), QStringLiteral(" 10.000"));
        QCOMPARE(grid->item(0, 3)->text(), QStringLiteral("       25.000"));
        QCOMPARE(grid->item(0, 4)->text(), QStringLiteral(" 20.000"));
        QVERIFY(grid->item(1, 0) == nullptr);   // one entry out of bounds, nothing else
        QVERIFY(grid->rowCount() >= 1);

        const QImage shot = view.grab().toImage();
        if (qEnvironmentVariableIsSet("KV_GRAB_DIR"))
            shot.save(qEnvironmentVariable("KV_GRAB_DIR") + QStringLiteral("/ViolationView.png"));

        // The editor opens on the same groups; a bound stored there is reported back.
        QTimer::singleShot(0, &editor, [&] {
            QVERIFY(editor.isVisible());
            auto* tv = editor.findChild<QTreeWidget*>(QStringLiteral("TV"));
            tv->setCurrentItem(tv->topLevelItem(0)->child(0));
            auto* up = editor.findChild<QLineEdit*>(QStringLiteral("Edit2"));
            up->setFocus();
            up->selectAll();
            QTest::keyClicks(up, QStringLiteral("30"));
            QTest::mouseClick(editor.findChild<QPushButton*>(QStringLiteral("Button3")), Qt::LeftButton);
            QTest::mouseClick(editor.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
        });
        QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
        QVERIFY(!view.isVisible());
        QVERIFY(view.boundsChanged());
        QCOMPARE(groups_.at(0).getBound(0, 1), 30.0);
        QCOMPARE(sound, std::string("tol.wav"));
    }
};

QTEST_MAIN(TestToleranceWindow)
#include "TestToleranceWindow.moc"
