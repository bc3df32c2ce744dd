#pragma once
#include <QDialog>
#include <QString>
#include <array>
#include <string>

class QListWidget;
class QPushButton;

namespace kv {

class Operator;

// The kinds of list the list window shows; the value is the window's mode number.
enum class ListMode { Groups = 0, Reports = 1, BitSignals = 2, Titles = 3, Telecontrol = 4 };

// One list as the list window sees it. Each mode plugs in its own: it knows the items, their
// row texts, the list's limit, and opens the item editor of the mode. Positions are 0-based
// item positions; the window only passes positions of existing rows (and, for Add and Insert,
// a position up to the count).
class ListItems {
public:
    virtual ~ListItems() = default;
    virtual int count() const = 0;
    virtual QString rowText(int pos) const = 0;
    // Add and Insert are refused with limitMessage() once the list holds limit() items.
    virtual int limit() const = 0;
    virtual std::string limitMessage() const = 0;
    // Add (insert false: the new item goes to the end, pos is the count) or Insert (before
    // pos): makes the item and opens the editor. True when the list changed.
    virtual bool add(int pos, bool insert) = 0;
    // Opens the editor on the item at pos. True when the item (or the list) changed.
    virtual bool change(int pos) = 0;
    // Removes and destroys the item at pos, at once and without a question.
    virtual void remove(int pos) = 0;
};

// The list window: one modal window for every kind of list. It shows the list, refuses Add
// and Insert once the list is full, and calls the mode's editor for Add, Insert and Change.
// Changes go into the list at once; there is no cancel at list level. The caller loads the
// list's file before and saves it after.
//
// Entry point, e.g. for the parameter groups:
//     GroupListItems groups(ws.groups(), groupEditor);   // once, for the whole run
//     listWindow.setItems(ListMode::Groups, &groups);      // once
//     loadGroups(...);
//     listWindow.run(ListMode::Groups, "Список параметров обмена ", 9);
//     saveGroups(...);
class ListWindow : public QDialog {
    Q_OBJECT
public:
    explicit ListWindow(Operator& op, QWidget* parent = nullptr);
    ~ListWindow() override;

    // Plugs in the list of a mode (not owned; null unplugs it).
    void setItems(ListMode mode, ListItems* items);
    ListItems* items(ListMode mode) const { return items_[std::size_t(mode)]; }

    // Shows the list of `mode` modally with the menu's caption and help context and returns
    // when the operator leaves with "Выход" (or closes the window). False, showing nothing,
    // when no list is plugged in for the mode.
    bool run(ListMode mode, const QString& caption, int helpContext);
    // The same steps without the modal loop (for a caller that shows the window itself):
    // mode, caption and help context set, rows filled, row 0 selected.
    bool prepare(ListMode mode, const QString& caption, int helpContext);
    ListMode mode() const { return mode_; }

    // The buttons' actions.
    void changeItem();                 // "Изменить", double click, Enter
    void addItem() { addOrInsert(false); }     // "Добавить"
    void insertItem() { addOrInsert(true); }   // "Вставить"
    void deleteItem();                 // "Удалить"

    // The selected row, -1 when none.
    int selectedRow() const;

private:
    void addOrInsert(bool insert);
    void refill(int selectRow);

    Operator& op_;
    ListMode mode_ = ListMode::Groups;
    std::array<ListItems*, 5> items_{};
    QListWidget* list_ = nullptr;
};

} // namespace kv
