#include "lists/ui/GroupEditor.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Operator.h"
#include "lists/ParamGroup.h"

namespace kv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The hint shows in the status bar while the mouse is over the control, and as its tooltip.
void hint(QWidget* w, const char* text)
{
    w->setStatusTip(QString::fromUtf8(text));
    w->setToolTip(QString::fromUtf8(text));
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* hintText)
{
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    hint(b, hintText);
    return b;
}

QLabel* caption(QWidget* parent, const char* text, QWidget* buddy = nullptr)
{
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

} // namespace

GroupEditor::GroupEditor(const ParamCatalog& catalog, Operator& op, QWidget* parent)
    : QDialog(parent), catalog_(catalog), op_(op)
{
    setObjectName(QStringLiteral("GroupEditor"));
    setWindowTitle(QStringLiteral("Определение параметров обмена"));
    buildControls();
    resize(820, 520);
}

GroupEditor::~GroupEditor() = default;

void GroupEditor::buildControls()
{
    // Group name and polling period (group definition only).
    groupFields_ = new QWidget(this);
    edit2_ = new QLineEdit(groupFields_);
    edit2_->setObjectName(QStringLiteral("Edit2"));
    edit2_->setMaxLength(int(kGroupNameCapacity));
    hint(edit2_, "Ввод названия группы параметров");
    spin2_ = new QSpinBox(groupFields_);
    spin2_->setObjectName(QStringLiteral("SpinEdit2"));
    spin2_->setRange(0, 0xFFFF);   // the group file keeps 16 bits
    spin2_->setSingleStep(15);
    spin2_->setMinimumWidth(90);
    hint(spin2_, "Ввод частоты опроса группы параметров");
    auto* fields = new QHBoxLayout(groupFields_);
    fields->setContentsMargins(0, 0, 0, 0);
    fields->addWidget(caption(groupFields_, "Название группы параметров", edit2_));
    fields->addWidget(edit2_, 1);
    fields->addSpacing(16);
    fields->addWidget(caption(groupFields_, "Частота опроса группы (секунды)", spin2_));
    fields->addWidget(spin2_);

    // The reference catalog, one reference group at a time.
    cbg_ = new QComboBox(this);
    cbg_->setObjectName(QStringLiteral("CBG"));
    hint(cbg_, "Выбор группы параметров");
    lbs_ = new QListWidget(this);
    lbs_->setObjectName(QStringLiteral("LBS"));
    lbs_->setUniformItemSizes(true);
    hint(lbs_, "Просмотр списка ");
    lbs_->installEventFilter(this);

    indexFrame_ = new QFrame(this);
    indexFrame_->setObjectName(QStringLiteral("IndexFrame"));
    indexFrame_->setFrameShape(QFrame::StyledPanel);
    lb4_ = new QLabel(indexFrame_);
    lb4_->setObjectName(QStringLiteral("LB4"));
    spin1_ = new QSpinBox(indexFrame_);
    spin1_->setObjectName(QStringLiteral("SpinEdit1"));
    spin1_->setWrapping(true);
    spin1_->setMinimumWidth(70);
    lb4_->setBuddy(spin1_);
    auto* index = new QHBoxLayout(indexFrame_);
    index->setContentsMargins(6, 3, 6, 3);
    index->addWidget(lb4_);
    index->addStretch(1);
    index->addWidget(spin1_);

    nameField_ = new QWidget(this);
    edit1_ = new QLineEdit(nameField_);
    edit1_->setObjectName(QStringLiteral("Edit1"));
    edit1_->setMaxLength(int(kGroupNameCapacity));
    hint(edit1_, "Ввод названия параметров");
    auto* name = new QHBoxLayout(nameField_);
    name->setContentsMargins(0, 0, 0, 0);
    name->addWidget(caption(nameField_, "Название пар.", edit1_));
    name->addWidget(edit1_, 1);

    auto* reference = new QVBoxLayout;
    reference->addWidget(cbg_);
    reference->addWidget(lbs_, 1);
    reference->addWidget(indexFrame_);
    reference->addWidget(nameField_);

    // The buttons between the two lists.
    auto* add = button(this, "Button1", "Добавить", "Добавить параметр в список");
    auto* insert = button(this, "Button2", "Вставить", "Вставить параметр в список");
    change_ = button(this, "Button6", "Изменить", "Изменить  параметр из списка");
    auto* remove = button(this, "Button3", "Удалить", "Удалить параметр из списка");
    auto* radio = new QGroupBox(QStringLiteral("Выбор"), this);
    radio->setObjectName(QStringLiteral("RadioGroup1"));
    single_ = new QRadioButton(QStringLiteral("Единичный"), radio);
    multi_ = new QRadioButton(QStringLiteral("Множественный"), radio);
    single_->setChecked(true);
    auto* radioLayout = new QVBoxLayout(radio);
    radioLayout->addWidget(single_);
    radioLayout->addWidget(multi_);
    auto* middle = new QVBoxLayout;
    middle->addSpacing(cbg_->sizeHint().height() + 6);
    middle->addWidget(add);
    middle->addWidget(insert);
    middle->addWidget(change_);
    middle->addWidget(remove);
    middle->addStretch(1);
    middle->addWidget(radio);

    // The group's entries and the counters.
    lbp_ = new QListWidget(this);
    lbp_->setObjectName(QStringLiteral("LBP"));
    lbp_->setUniformItemSizes(true);
    hint(lbp_, "Просмотр списка выбранных параметров");
    lbp_->installEventFilter(this);
    counters_ = new QWidget(this);
    lop_ = new QLabel(QStringLiteral("0"), counters_);
    lop_->setObjectName(QStringLiteral("Lop"));
    ldl_ = new QLabel(QStringLiteral("0"), counters_);
    ldl_->setObjectName(QStringLiteral("Ldl"));
    auto* count = new QGridLayout(counters_);
    count->setContentsMargins(0, 0, 0, 0);
    count->addWidget(caption(counters_, "Введено описателей :"), 0, 0);
    count->addWidget(lop_, 0, 1, Qt::AlignRight);
    count->addWidget(caption(counters_, "Длина списка параметров (байт) :"), 1, 0);
    count->addWidget(ldl_, 1, 1, Qt::AlignRight);
    auto* entries = new QVBoxLayout;
    entries->addSpacing(cbg_->sizeHint().height() + 6);
    entries->addWidget(lbp_, 1);
    entries->addWidget(counters_);

    auto* lists = new QHBoxLayout;
    lists->addLayout(reference, 5);
    lists->addLayout(middle, 0);
    lists->addLayout(entries, 5);

    auto* enter = button(this, "Button5", "Ввод", "Выход с сохранением результатов");
    auto* cancel = button(this, "Button4", "Отмена", "Выход  без сохранения");
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(enter);
    bottom->addWidget(cancel);

    status_ = new QStatusBar(this);
    status_->setObjectName(QStringLiteral("StatusBar1"));
    status_->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(groupFields_);
    layout->addLayout(lists, 1);
    layout->addLayout(bottom);
    layout->addWidget(status_);
    layout->setContentsMargins(10, 10, 10, 0);

    setTabOrder(edit2_, spin2_);
    setTabOrder(spin2_, cbg_);
    setTabOrder(cbg_, lbs_);
    setTabOrder(lbs_, spin1_);
    setTabOrder(spin1_, edit1_);
    setTabOrder(edit1_, add);
    setTabOrder(add, insert);
    setTabOrder(insert, change_);
    setTabOrder(change_, remove);
    setTabOrder(remove, single_);
    setTabOrder(single_, multi_);
    setTabOrder(multi_, lbp_);
    setTabOrder(lbp_, enter);
    setTabOrder(enter, cancel);

    connect(cbg_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!quiet_)
            chooseReferenceGroup(i);
    });
    connect(lbs_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!quiet_)
            referenceRowClicked(row);
    });
    connect(lbs_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        addFromRow(lbs_->row(item), false);
    });
    connect(spin1_, &QSpinBox::valueChanged, this, [this] {
        if (!quiet_)
            edit1_->clear();
    });
    connect(lbp_, &QListWidget::itemSelectionChanged, this, [this] {
        const int row = lbp_->currentRow();
        if (!quiet_ && row >= 0 && lbp_->item(row)->isSelected())
            entryClicked(row);
    });
    connect(edit1_, &QLineEdit::returnPressed, this, &GroupEditor::addEntries);
    connect(multi_, &QRadioButton::toggled, this, &GroupEditor::setMultiple);
    connect(add, &QPushButton::clicked, this, &GroupEditor::addEntries);
    connect(insert, &QPushButton::clicked, this, &GroupEditor::insertEntries);
    connect(change_, &QPushButton::clicked, this, &GroupEditor::changeEntry);
    connect(remove, &QPushButton::clicked, this, &GroupEditor::deleteEntries);
    connect(enter, &QPushButton::clicked, this, &GroupEditor::enter);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool GroupEditor::event(QEvent* e)
{
    if (e->type() == QEvent::StatusTip) {
        status_->showMessage(static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    }
    return QDialog::event(e);
}

bool GroupEditor::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (watched == lbs_ && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            addFromRow(lbs_->currentRow(), false);   // as a double click
            return true;
        }
        if (watched == lbp_ && key == Qt::Key_Delete) {
            deleteEntries();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

bool GroupEditor::edit(ParamGroup& group)
{
    begin(group);
    exec();
    group_ = nullptr;
    return accepted_;
}

void GroupEditor::begin(ParamGroup& group)
{
    group_ = &group;
    accepted_ = false;
    refGroups_ = catalog_.referenceGroups();

    quiet_ = true;
    cbg_->clear();
    for (const auto& g : refGroups_)
        cbg_->addItem(qs(g.name));
    lbp_->clear();
    for (const auto& e : group.entries())
        lbp_->addItem(qs(e.name));
    quiet_ = false;
    applyMode();

    edit1_->clear();
    chooseReferenceGroup(refGroups_.empty() ? -1 : 0);
    if (group.count() > 0) {
        edit2_->setText(qs(group.name()));
        spin2_->setValue(group.period());
        quiet_ = true;
        lbp_->setCurrentRow(0);
        quiet_ = false;
        showEntryReference(0);
    } else {
        edit2_->clear();
        spin2_->setValue(0);
        edit1_->clear();
    }
    updateCounters();
    status_->clearMessage();
    if (mode_ == Mode::Definition)
        edit2_->setFocus();
    else
        lbs_->setFocus();
}

void GroupEditor::applyMode()
{
    const bool definition = mode_ == Mode::Definition;
    groupFields_->setVisible(definition);
    nameField_->setVisible(definition);
    counters_->setVisible(definition);
}

bool GroupEditor::multiple() const { return multi_->isChecked(); }

void GroupEditor::setMultiple(bool multiple)
{
    const auto mode = multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    quiet_ = true;
    for (QListWidget* list : {lbs_, lbp_}) {
        list->setSelectionMode(mode);
        if (!multiple) {
            // Back to one selected row: keep the current one only.
            QListWidgetItem* current = list->currentItem();
            const bool keep = current && current->isSelected();
            list->clearSelection();
            if (keep)
                current->setSelected(true);
        }
    }
    quiet_ = false;
    change_->setEnabled(!multiple);
}

const ParamCatalogEntry* GroupEditor::referenceAt(int row) const
{
    const int g = cbg_->currentIndex();
    if (g < 0 || std::size_t(g) >= refGroups_.size() || row < 0)
        return nullptr;
    const auto& rows = refGroups_[std::size_t(g)].entries;
    if (std::size_t(row) >= rows.size() || rows[std::size_t(row)] >= catalog_.entries().size())
        return nullptr;
    return &catalog_.entries()[rows[std::size_t(row)]];
}

void GroupEditor::chooseReferenceGroup(int index)
{
    quiet_ = true;
    cbg_->setCurrentIndex(index);
    lbs_->clear();
    if (index >= 0 && std::size_t(index) < refGroups_.size())
        for (std::size_t at : refGroups_[std::size_t(index)].entries)
            if (at < catalog_.entries().size())
                lbs_->addItem(qs(catalog_.entries()[at].name));
    if (lbs_->count() > 0)
        lbs_->setCurrentRow(0);
    quiet_ = false;
    labelRow(lbs_->count() > 0 ? 0 : -1);
}

void GroupEditor::labelRow(int row)
{
    const ParamCatalogEntry* ref = referenceAt(row);
    label_ = ref ? indexLabel(*ref) : IndexLabel{};
    lb4_->setText(qs(label_.label));
    spin1_->setStatusTip(qs(label_.hint));
    spin1_->setToolTip(qs(label_.hint));
    indexFrame_->setVisible(label_.shown);
    spin1_->setRange(0, label_.maxIndex);
    spin1_->setValue(0);
}

void GroupEditor::setIndexQuietly(int index)
{
    quiet_ = true;
    spin1_->setValue(index);
    quiet_ = false;
}

void GroupEditor::referenceRowClicked(int row)
{
    const ParamCatalogEntry* ref = referenceAt(row);
    if (!ref)
        return;
    if (!keepIndexOnClick(label_, indexLabel(*ref)))
        labelRow(row);
    edit1_->clear();
}

void GroupEditor::entryClicked(int row) { showEntryReference(row); }

void GroupEditor::showEntryReference(int pos)
{
    if (!group_ || !group_->entry(pos))
        return;
    const auto place = findReference(catalog_, refGroups_, group_->getCode(pos));
    if (!place)
        return;
    chooseReferenceGroup(place->group);
    quiet_ = true;
    lbs_->clearSelection();
    lbs_->setCurrentRow(place->row);
    lbs_->scrollToItem(lbs_->currentItem());
    quiet_ = false;
    labelRow(place->row);
    setIndexQuietly(group_->getCode(pos)[2]);
    edit1_->setText(qs(group_->getName(pos)));
}

bool GroupEditor::makeFrom(int row, NewEntry& out, int replacing)
{
    const ParamCatalogEntry* ref = referenceAt(row);
    if (!ref || !group_)
        return false;
    if (!fitsLengthLimit(*group_, *ref, replacing)) {
        op_.message(MessageKind::Warning, kTooLongMessage);
        return false;
    }
    // The chosen index belongs to the parameter the index field is labelled for; another
    // parameter of a different kind (possible in a multiple selection) starts from index 0.
    const IndexLabel rowLabel = indexLabel(*ref);
    const int index = rowLabel == label_ ? spin1_->value() : 0;
    out = makeEntry(*ref, index, rowLabel.shown, edit1_->text().toStdString());
    edit1_->setText(qs(out.name));
    return true;
}

std::vector<int> GroupEditor::selectedRows(QListWidget* list) const
{
    std::vector<int> rows;
    for (QListWidgetItem* item : list->selectedItems())
        rows.push_back(list->row(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void GroupEditor::addFromRow(int row, bool clearName)
{
    NewEntry e;
    if (!group_ || !makeFrom(row, e))
        return;
    if (!group_->addParam(e.code, -1, e.name))
        op_.message(MessageKind::Warning, kTooManyEntriesMessage);
    else
        lbp_->addItem(qs(group_->getName(group_->count() - 1)));
    if (clearName)
        edit1_->clear();
    updateCounters();
}

void GroupEditor::addEntries()
{
    if (!group_)
        return;
    if (!multiple()) {
        const auto rows = selectedRows(lbs_);
        if (!rows.empty())
            addFromRow(rows.front(), true);
        return;
    }
    for (int row : selectedRows(lbs_)) {
        NewEntry e;
        if (!makeFrom(row, e))
            break;
        if (!group_->addParam(e.code, -1, e.name)) {
            op_.message(MessageKind::Warning, kTooManyEntriesMessage);
            break;
        }
        lbp_->addItem(qs(group_->getName(group_->count() - 1)));
        edit1_->clear();   // each further entry gets its default name
    }
    edit1_->clear();
    updateCounters();
}

void GroupEditor::insertEntries()
{
    if (!group_)
        return;
    auto rows = selectedRows(lbs_);
    if (rows.empty())
        return;
    if (!multiple())
        rows.resize(1);
    // Before the selected entry, or at the end; the rows go in from last to first, each before
    // the one inserted just before it, so that they stand in reference order.
    const auto selected = selectedRows(lbp_);
    const int pos = selected.empty() ? group_->count() : selected.front();
    quiet_ = true;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        NewEntry e;
        if (!makeFrom(*it, e))
            break;
        if (!group_->addParam(e.code, pos, e.name)) {
            op_.message(MessageKind::Warning, kTooManyEntriesMessage);
            break;
        }
        lbp_->insertItem(pos, qs(group_->getName(pos)));
        edit1_->clear();
    }
    quiet_ = false;
    edit1_->clear();
    updateCounters();
}

void GroupEditor::changeEntry()
{
    if (!group_ || multiple())
        return;
    const auto entries = selectedRows(lbp_);
    const auto refs = selectedRows(lbs_);
    if (entries.empty() || refs.empty())
        return;
    const int pos = entries.front();
    NewEntry e;
    if (!makeFrom(refs.front(), e, pos))
        return;
    group_->changeParam(e.code, pos, e.name);
    lbp_->item(pos)->setText(qs(group_->getName(pos)));
    updateCounters();
}

void GroupEditor::deleteEntries()
{
    if (!group_)
        return;
    auto rows = selectedRows(lbp_);
    quiet_ = true;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (group_->delParam(*it))
            delete lbp_->takeItem(*it);
    lbp_->clearSelection();
    quiet_ = false;
    updateCounters();
}

void GroupEditor::enter()
{
    if (!group_)
        return;
    if (group_->count() == 0) {
        if (!op_.askYesNo(kNoEntriesQuestion))
            reject();
        return;
    }
    if (mode_ == Mode::OneOffReading) {
        accepted_ = true;
        if (oneOffReader_)
            oneOffReader_(*group_);
        return;
    }
    if (edit2_->text().isEmpty()) {
        edit2_->setFocus();
        return;
    }
    if (spin2_->value() == 0) {
        spin2_->setFocus();
        return;
    }
    group_->setGroup(edit2_->text().toStdString(), spin2_->value());
    accepted_ = true;
    accept();
}

void GroupEditor::updateCounters()
{
    lop_->setText(QString::number(group_ ? group_->count() : 0));
    ldl_->setText(QString::number(group_ ? group_->lengthSum() : 0));
}

} // namespace kv
