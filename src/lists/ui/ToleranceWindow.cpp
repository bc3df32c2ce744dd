#include "lists/ui/ToleranceWindow.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "lists/ui/SoundFileChooser.h"

namespace kv {

namespace {

constexpr int kGroupRole = Qt::UserRole;
constexpr int kEntryRole = Qt::UserRole + 1;

QString q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

ToleranceWindow::ToleranceWindow(Operator& op, QWidget* parent) : QDialog(parent), op_(op)
{
    setObjectName(QStringLiteral("AvDopusk"));
    setWindowTitle(QString::fromUtf8(kToleranceEditorCaption));
    const QChar point = QLocale().decimalPoint().isEmpty() ? QLatin1Char('.') : QLocale().decimalPoint().at(0);
    seps_ = text::DecimalSeparators::forSystem(point.toLatin1());

    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("TV"));
    tree_->setHeaderHidden(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setMinimumSize(300, 360);

    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("Panel1"));
    nameLabel_ = new QLabel(panel_);
    nameLabel_->setObjectName(QStringLiteral("Label4"));
    nameLabel_->setWordWrap(true);
    auto* lowerLabel = new QLabel(QStringLiteral("Минимальное значение \nпараметра"), panel_);
    lowerEdit_ = new QLineEdit(panel_);
    lowerEdit_->setObjectName(QStringLiteral("Edit1"));
    auto* upperLabel = new QLabel(QStringLiteral("Максимальное значение \nпараметра"), panel_);
    upperEdit_ = new QLineEdit(panel_);
    upperEdit_->setObjectName(QStringLiteral("Edit2"));
    storeButton_ = new QPushButton(QStringLiteral("Сохранить"), panel_);
    storeButton_->setObjectName(QStringLiteral("Button3"));
    storeButton_->setAutoDefault(false);
    cancelButton_ = new QPushButton(QStringLiteral("Отмена"), panel_);
    cancelButton_->setObjectName(QStringLiteral("Button5"));
    cancelButton_->setAutoDefault(false);
    auto* panelLayout = new QVBoxLayout(panel_);
    panelLayout->addWidget(nameLabel_);
    panelLayout->addWidget(lowerLabel);
    panelLayout->addWidget(lowerEdit_);
    panelLayout->addWidget(upperLabel);
    panelLayout->addWidget(upperEdit_);
    auto* panelButtons = new QHBoxLayout;
    panelButtons->addWidget(storeButton_);
    panelButtons->addWidget(cancelButton_);
    panelLayout->addLayout(panelButtons);
    panelLayout->addStretch();

    soundBox_ = new QCheckBox(QStringLiteral("Звувой файл"), this);
    soundBox_->setObjectName(QStringLiteral("CheckBox1"));
    fileWidget_ = new QWidget(this);
    fileWidget_->setObjectName(QStringLiteral("FilenameEdit1"));
    fileEdit_ = new QLineEdit(fileWidget_);
    auto* browseButton = new QToolButton(fileWidget_);
    browseButton->setText(QStringLiteral("..."));
    auto* fileLayout = new QHBoxLayout(fileWidget_);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileLayout->addWidget(fileEdit_);
    fileLayout->addWidget(browseButton);

    exitButton_ = new QPushButton(QStringLiteral("Выход"), this);
    exitButton_->setObjectName(QStringLiteral("Button1"));
    exitButton_->setAutoDefault(false);

    auto* right = new QVBoxLayout;
    right->addWidget(panel_);
    right->addStretch();
    right->addWidget(soundBox_);
    right->addWidget(fileWidget_);
    right->addWidget(exitButton_);
    auto* top = new QHBoxLayout(this);
    top->addWidget(tree_, 1);
    top->addLayout(right);
    panel_->setFixedWidth(230);

    lowerEdit_->installEventFilter(this);
    upperEdit_->installEventFilter(this);
    auto typed = [this] {
        if (editing_ && !filling_)
            editing_->setTexts(lowerEdit_->text().toStdString(), upperEdit_->text().toStdString());
    };
    connect(lowerEdit_, &QLineEdit::textEdited, this, typed);
    connect(upperEdit_, &QLineEdit::textEdited, this, typed);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &ToleranceWindow::onCurrentChanged);
    connect(storeButton_, &QPushButton::clicked, this, [this] { storeBounds(false); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (editing_) {
            editing_->cancel();
            showFields();
        }
    });
    connect(soundBox_, &QCheckBox::toggled, fileWidget_, &QWidget::setVisible);
    connect(browseButton, &QToolButton::clicked, this, &ToleranceWindow::browse);
    connect(exitButton_, &QPushButton::clicked, this, &ToleranceWindow::exitWindow);
}

ToleranceWindow::~ToleranceWindow() = default;

void ToleranceWindow::setDecimalSeparator(char decimal)
{
    seps_ = text::DecimalSeparators::forSystem(decimal);
}

bool ToleranceWindow::edit(GroupList& groups, std::string& soundFile, const std::string& folder)
{
    activate(groups, soundFile, folder);
    exec();
    soundFile = soundFile_;
    return boundsChanged();
}

void ToleranceWindow::activate(GroupList& groups, const std::string& soundFile, const std::string& folder)
{
    groups_ = &groups;
    editing_ = std::make_unique<BoundsEditing>(groups, seps_);
    soundFile_ = soundFile;
    folder_ = folder;
    soundBox_->setChecked(!soundFile.empty());
    fileEdit_->setText(q(soundFile));
    fileWidget_->setVisible(soundBox_->isChecked());
    panel_->hide();
    entryItem_ = nullptr;
    buildTree();
}

void ToleranceWindow::buildTree()
{
    filling_ = true;
    tree_->clear();
    for (int gi = 0; gi < groups_->size(); ++gi) {
        const ParamGroup& g = groups_->at(gi);
        auto* gItem = new QTreeWidgetItem(tree_, QStringList(q(g.name())));
        gItem->setData(0, kGroupRole, gi);
        gItem->setData(0, kEntryRole, -1);
        for (int k = 0; k < g.count(); ++k) {
            auto* eItem = new QTreeWidgetItem(gItem, QStringList(q(g.getName(k))));
            eItem->setData(0, kGroupRole, gi);
            eItem->setData(0, kEntryRole, k);
            if (takesBounds(*g.entry(k))) {
                new QTreeWidgetItem(eItem);
                new QTreeWidgetItem(eItem);
            }
        }
    }
    renewBoundNodes();
    filling_ = false;
    if (tree_->topLevelItemCount() > 0)
        tree_->setCurrentItem(tree_->topLevelItem(0));
}

void ToleranceWindow::renewBoundNodes()
{
    for (int gi = 0; gi < tree_->topLevelItemCount(); ++gi) {
        QTreeWidgetItem* gItem = tree_->topLevelItem(gi);
        for (int k = 0; k < gItem->childCount(); ++k) {
            QTreeWidgetItem* eItem = gItem->child(k);
            if (eItem->childCount() < 2)
                continue;
            const ParamGroup& g = groups_->at(gi);
            eItem->child(0)->setText(0, q("min=" + boundText(g.getBound(k, 0), seps_.inUse)));
            eItem->child(1)->setText(0, q("max=" + boundText(g.getBound(k, 1), seps_.inUse)));
        }
    }
}

void ToleranceWindow::onCurrentChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    if (filling_)
        return;
    if (panel_->isVisible() && previous && !storeBounds(true)) {
        // The operator stays on the entry he was editing.
        filling_ = true;
        tree_->setCurrentItem(previous);
        filling_ = false;
        return;
    }
    showSelection(current);
}

void ToleranceWindow::showSelection(QTreeWidgetItem* item)
{
    entryItem_ = nullptr;
    const bool entryNode = item && item->parent() && !item->parent()->parent() && item->childCount() > 0;
    if (entryNode && editing_->select(item->data(0, kGroupRole).toInt(), item->data(0, kEntryRole).toInt())) {
        entryItem_ = item;
        nameLabel_->setText(q(editing_->entryName()));
        showFields();
        panel_->show();
    } else {
        editing_->select(-1, -1);
        panel_->hide();
    }
}

void ToleranceWindow::showFields()
{
    filling_ = true;
    lowerEdit_->setText(q(editing_->lowerText()));
    upperEdit_->setText(q(editing_->upperText()));
    filling_ = false;
}

bool ToleranceWindow::storeBounds(bool ask)
{
    switch (editing_->store(ask ? &op_ : nullptr)) {
    case BoundsEditing::Store::NothingToStore:
        return true;
    case BoundsEditing::Store::Stored:
        showFields();
        renewBoundNodes();
        return true;
    case BoundsEditing::Store::Invalid:
        lowerEdit_->setFocus();
        return false;
    case BoundsEditing::Store::Declined:
        return false;
    }
    return false;
}

bool ToleranceWindow::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == lowerEdit_ || watched == upperEdit_) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString t = key->text();
        // Keys without a character (arrows, Delete, Home) move or delete as usual.
        if (t.size() != 1 || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return QDialog::eventFilter(watched, event);
        const QChar ch = t.at(0);
        const std::optional<char> out = ch.unicode() < 128 ? filterBoundKey(char(ch.unicode()), seps_) : std::nullopt;
        if (!out)
            return true;
        if (*out != char(ch.unicode())) {
            auto* edit = static_cast<QLineEdit*>(watched);
            edit->insert(QString(QLatin1Char(*out)));
            editing_->setTexts(lowerEdit_->text().toStdString(), upperEdit_->text().toStdString());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ToleranceWindow::browse()
{
    const QString name = chooseSoundFile(this, fileEdit_->text(), folder_);
    if (!name.isEmpty())
        fileEdit_->setText(name);
}

void ToleranceWindow::exitWindow()
{
    soundFile_ = keptSoundFile(soundBox_->isChecked(), fileEdit_->text().toStdString());
    accept();
}

void ToleranceWindow::closeEvent(QCloseEvent* event)
{
    soundFile_ = keptSoundFile(soundBox_->isChecked(), fileEdit_->text().toStdString());
    QDialog::closeEvent(event);
}

// ---- the out-of-tolerance view ----

namespace {
constexpr int kVisibleRows = 12;
constexpr int kNarrowColumn = 62;
} // namespace

ViolationView::ViolationView(ToleranceWindow& editor, QWidget* parent) : QDialog(parent), editor_(editor)
{
    setObjectName(QStringLiteral("AViewDop"));
    setWindowTitle(QString::fromUtf8(kViolationViewCaption));
    grid_ = new QTableWidget(0, 5, this);
    grid_->setObjectName(QStringLiteral("StringGrid1"));
    grid_->setHorizontalHeaderLabels({QStringLiteral("Наименование группы"), QStringLiteral("Наименование параметра"),
                                      QStringLiteral("Минимум"), QStringLiteral("Значение"), QStringLiteral("Максиум")});
    grid_->verticalHeader()->hide();
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setColumnWidth(0, 160);
    grid_->setColumnWidth(1, 200);
    for (int c = 2; c < 5; ++c)
        grid_->setColumnWidth(c, kNarrowColumn);
    grid_->setMinimumSize(160 + 200 + 3 * kNarrowColumn + 4, grid_->horizontalHeader()->sizeHint().height() +
                                                                  kVisibleRows * grid_->verticalHeader()->defaultSectionSize() + 4);
    auto* exitButton = new QPushButton(QStringLiteral("Выход"), this);
    exitButton->setObjectName(QStringLiteral("Button1"));
    exitButton->setAutoDefault(false);
    auto* changeButton = new QPushButton(QStringLiteral("Изменить границы допуска"), this);
    changeButton->setObjectName(QStringLiteral("Button2"));
    changeButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(changeButton);
    buttons->addStretch();
    buttons->addWidget(exitButton);
    auto* top = new QVBoxLayout(this);
    top->addWidget(grid_);
    top->addLayout(buttons);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(changeButton, &QPushButton::clicked, this, &ViolationView::changeBounds);
}

ViolationView::~ViolationView() = default;

bool ViolationView::run(GroupList& groups, const ValueStyle& style, std::string& soundFile, const std::string& folder)
{
    fill(groups, style, soundFile, folder);
    exec();
    return changed_;
}

void ViolationView::fill(GroupList& groups, const ValueStyle& style, std::string& soundFile, const std::string& folder)
{
    groups_ = &groups;
    soundFile_ = &soundFile;
    folder_ = folder;
    changed_ = false;
    const std::vector<ViolationRow> rows = violationRows(groups, style);
    grid_->clearContents();
    // At least a screenful of rows, so the grid never shows a grey gap.
    grid_->setRowCount(std::max<int>(int(rows.size()), kVisibleRows));
    for (int r = 0; r < int(rows.size()); ++r) {
        const ViolationRow& v = rows[std::size_t(r)];
        const std::string cells[] = {v.group, v.entry, v.lower, v.value, v.upper};
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem(q(cells[c]));
            if (c >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid_->setItem(r, c, item);
        }
    }
    // A number cut short would read like the "no value" dots: the number columns grow to fit.
    for (int c = 2; c < 5; ++c) {
        grid_->resizeColumnToContents(c);
        grid_->setColumnWidth(c, std::max(grid_->columnWidth(c), kNarrowColumn));
    }
}

void ViolationView::changeBounds()
{
    changed_ = editor_.edit(*groups_, *soundFile_, folder_);
    accept();
}

} // namespace kv
