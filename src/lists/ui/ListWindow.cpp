#include "lists/ui/ListWindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Operator.h"

namespace kv {

namespace {
constexpr const char* kHelpProperty = "helpContext";

QPushButton* button(QWidget* parent, const char* name, const char* caption)
{
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    b->setMinimumWidth(110);
    return b;
}
} // namespace

ListWindow::ListWindow(Operator& op, QWidget* parent) : QDialog(parent), op_(op)
{
    setObjectName(QStringLiteral("ListWindow"));
    setWindowTitle(QStringLiteral("Список параметров обмена"));

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("LBO"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);

    auto* change = button(this, "Button1", "Изменить");
    auto* add = button(this, "Button2", "Добавить");
    auto* insert = button(this, "Button3", "Вставить");
    auto* remove = button(this, "Button4", "Удалить");
    auto* exit = button(this, "Button5", "Выход");

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(change);
    buttons->addWidget(add);
    buttons->addWidget(insert);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    buttons->addWidget(exit);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    connect(change, &QPushButton::clicked, this, &ListWindow::changeItem);
    connect(add, &QPushButton::clicked, this, &ListWindow::addItem);
    connect(insert, &QPushButton::clicked, this, &ListWindow::insertItem);
    connect(remove, &QPushButton::clicked, this, &ListWindow::deleteItem);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
    // Double click and Enter on a row change it.
    connect(list_, &QListWidget::itemActivated, this, [this] { changeItem(); });

    setTabOrder(list_, change);
    resize(520, 340);
}

ListWindow::~ListWindow() = default;

void ListWindow::setItems(ListMode mode, ListItems* items) { items_[std::size_t(mode)] = items; }

bool ListWindow::prepare(ListMode mode, const QString& caption, int helpContext)
{
    if (!items(mode))
        return false;
    mode_ = mode;
    setWindowTitle(caption);
    setProperty(kHelpProperty, helpContext);
    refill(0);
    list_->setFocus();
    return true;
}

bool ListWindow::run(ListMode mode, const QString& caption, int helpContext)
{
    if (!prepare(mode, caption, helpContext))
        return false;
    exec();
    return true;
}

int ListWindow::selectedRow() const
{
    const auto sel = list_->selectedItems();
    return sel.isEmpty() ? -1 : list_->row(sel.first());
}

void ListWindow::refill(int selectRow)
{
    ListItems* items = this->items(mode_);
    list_->clear();
    const int n = items ? items->count() : 0;
    for (int i = 0; i < n; ++i)
        list_->addItem(items->rowText(i));
    if (n > 0 && selectRow >= 0) {
        const int row = std::min(selectRow, n - 1);
        list_->setCurrentRow(row);
        list_->item(row)->setSelected(true);
    }
}

void ListWindow::addOrInsert(bool insert)
{
    ListItems* items = this->items(mode_);
    if (!items)
        return;
    if (items->count() >= items->limit()) {
        op_.message(MessageKind::Warning, items->limitMessage());
        return;
    }
    int pos = items->count();
    if (insert)
        pos = std::max(selectedRow(), 0);
    const int before = selectedRow();
    if (items->add(pos, insert))
        refill(pos);
    else
        refill(before);
}

void ListWindow::changeItem()
{
    ListItems* items = this->items(mode_);
    const int row = selectedRow();
    if (!items || row < 0)
        return;
    items->change(row);
    refill(row);
}

void ListWindow::deleteItem()
{
    ListItems* items = this->items(mode_);
    const int row = selectedRow();
    if (!items || row < 0)
        return;
    items->remove(row);
    // The same row number again when it still exists, else the row before it.
    refill(row);
}

} // namespace kv
