#pragma once
#include <QDialog>
#include <functional>
#include <vector>

#include "app/ParamCatalog.h"
#include "lists/GroupEditing.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;
class QWidget;

namespace kv {

class Operator;
class ParamGroup;

// The group editor: builds a parameter group's entries from the reference catalog, reference
// group by reference group. Two uses:
//   - group definition: name, polling period and entries of a group of the group list;
//     "Ввод" stores name and period and accepts, "Отмена" leaves without acceptance;
//   - one-off reading: the operator picks parameters to be read once; "Ввод" hands the group
//     to the one-off reader and the editor stays open.
// The editor changes the group it is given directly; a caller that must be able to cancel
// gives it a working copy (or a new group it removes again).
//
// Created once for the whole run, so its choices (reference group, selection mode) survive
// between openings; the catalog is read again at every opening.
//
// Group definition is opened by the list window's group mode (GroupListItems). One-off
// reading, from the online view:
//     editor.setMode(GroupEditor::Mode::OneOffReading);
//     editor.setOneOffReader([&](ParamGroup& g) { /* the one-off reading window on g */ });
//     ParamGroup temporary;
//     editor.edit(temporary);
class GroupEditor : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Definition, OneOffReading };

    GroupEditor(const ParamCatalog& catalog, Operator& op, QWidget* parent = nullptr);
    ~GroupEditor() override;

    void setMode(Mode mode) { mode_ = mode; }
    Mode mode() const { return mode_; }
    // Called by "Ввод" in one-off reading mode with the group the operator assembled.
    void setOneOffReader(std::function<void(ParamGroup&)> reader) { oneOffReader_ = std::move(reader); }

    // Opens the editor modally on `group`; true when it was closed with acceptance.
    bool edit(ParamGroup& group);
    // The opening steps without the modal loop (for a caller that shows the window itself).
    void begin(ParamGroup& group);
    bool accepted() const { return accepted_; }

    // The buttons' actions.
    void addEntries();       // "Добавить"
    void insertEntries();    // "Вставить"
    void changeEntry();      // "Изменить"
    void deleteEntries();    // "Удалить"
    void enter();            // "Ввод"

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void applyMode();
    void setMultiple(bool multiple);
    bool multiple() const;
    void chooseReferenceGroup(int index);
    void labelRow(int row);
    void referenceRowClicked(int row);
    void entryClicked(int row);
    void showEntryReference(int pos);
    void addFromRow(int row, bool clearName);
    const ParamCatalogEntry* referenceAt(int row) const;
    bool makeFrom(int row, NewEntry& out, int replacing = -1);
    std::vector<int> selectedRows(QListWidget* list) const;
    void updateCounters();
    void setIndexQuietly(int index);

    const ParamCatalog& catalog_;
    Operator& op_;
    Mode mode_ = Mode::Definition;
    std::function<void(ParamGroup&)> oneOffReader_;
    ParamGroup* group_ = nullptr;
    std::vector<ReferenceGroup> refGroups_;
    IndexLabel label_;
    bool accepted_ = false;
    bool quiet_ = false;   // the editor itself is changing a control

    QWidget* groupFields_ = nullptr;
    QLineEdit* edit2_ = nullptr;
    QSpinBox* spin2_ = nullptr;
    QComboBox* cbg_ = nullptr;
    QListWidget* lbs_ = nullptr;
    QFrame* indexFrame_ = nullptr;
    QLabel* lb4_ = nullptr;
    QSpinBox* spin1_ = nullptr;
    QWidget* nameField_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    QListWidget* lbp_ = nullptr;
    QWidget* counters_ = nullptr;
    QLabel* lop_ = nullptr;
    QLabel* ldl_ = nullptr;
    QRadioButton* single_ = nullptr;
    QRadioButton* multi_ = nullptr;
    QPushButton* change_ = nullptr;
    QStatusBar* status_ = nullptr;
};

} // namespace kv
