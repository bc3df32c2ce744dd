#pragma once
#include <QDialog>

#include <memory>
#include <string>

#include "app/Operator.h"
#include "lists/ToleranceEditing.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace kv {

// "Определение  допустимых значений параметров": the lower and upper tolerance bound of every
// sensor and pipeline entry of the parameter groups, and the wave file the online view plays
// when a value leaves its bounds. The rules are BoundsEditing's; this window shows them.
//
// Use (the main window's "Границы допуска"):
//
//     ws.loadGroupFiles();
//     if (!ws.groups().empty())
//         toleranceWindow->edit(ws.groups(), ws.settings().voice[0], ws.folder());
//     ws.saveToleranceFile();
//     ws.checkSoundFiles(1, 1);
//     ws.saveSettings();
//
// edit() is modal and changes the bounds in `groups` in place as the operator stores them;
// on "Выход" `soundFile` becomes the file field's text (cut to 255 characters) when
// "Звувой файл" is ticked, else empty. It returns whether a bound was stored (the out-of-
// tolerance view saves the files only then). Bounds typed but not stored are dropped.
//
// Controls by object name:
//   TV tree: groups, their entries, "min=" and "max=" under each entry that takes bounds
//   Panel1 edit panel (shown for an entry that takes bounds)   Label4 the entry's name
//   Edit1 lower bound   Edit2 upper bound
//   Button3 "Сохранить"   Button5 "Отмена"   Button1 "Выход"
//   CheckBox1 "Звувой файл"   FilenameEdit1 the wave file (a QLineEdit and a browse button)
class ToleranceWindow : public QDialog {
    Q_OBJECT
public:
    explicit ToleranceWindow(Operator& op, QWidget* parent = nullptr);
    ~ToleranceWindow() override;

    bool edit(GroupList& groups, std::string& soundFile, const std::string& folder);

    // The steps of edit() for tests: activate() fills the window; after it closed,
    // soundFile() and boundsChanged() hold the outcome.
    void activate(GroupList& groups, const std::string& soundFile, const std::string& folder);
    const std::string& soundFile() const { return soundFile_; }
    bool boundsChanged() const { return editing_ && editing_->boundsChanged(); }
    // The decimal separator of the user's locale (tests set one).
    void setDecimalSeparator(char decimal);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildTree();
    void onCurrentChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void showSelection(QTreeWidgetItem* item);
    // Stores what was typed; false keeps the operator on the entry (focus on the lower field).
    bool storeBounds(bool ask);
    void renewBoundNodes();
    void showFields();
    void exitWindow();
    void browse();

    Operator& op_;
    GroupList* groups_ = nullptr;
    std::unique_ptr<BoundsEditing> editing_;
    text::DecimalSeparators seps_;
    std::string soundFile_;
    std::string folder_;
    bool filling_ = false;
    QTreeWidgetItem* entryItem_ = nullptr;

    QTreeWidget* tree_ = nullptr;
    QWidget* panel_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QLineEdit* lowerEdit_ = nullptr;
    QLineEdit* upperEdit_ = nullptr;
    QPushButton* storeButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QCheckBox* soundBox_ = nullptr;
    QWidget* fileWidget_ = nullptr;
    QLineEdit* fileEdit_ = nullptr;
};

// "Выход параметров за допуск": every entry whose value in the groups' last replies lies
// outside its bounds, with the group name on the group's first row, the bounds and the value.
// "Изменить границы допуска" opens the bounds editor and closes this view.
//
// Use (the online view's command for the view):
//
//     ViolationView view(toleranceWindow, this);
//     if (view.run(ws.groups(), ValueStyle{!ws.settings().isCanBus(), decimal},
//                  ws.settings().voice[0], ws.folder())) {
//         ws.saveToleranceFile();       // a bound was stored in the editor
//         ws.checkSoundFiles(1, 1);
//         ws.saveSettings();
//     }
//
// Controls by object name: StringGrid1 the rows (columns "Наименование группы",
// "Наименование параметра", "Минимум", "Значение", "Максиум"), Button1 "Выход",
// Button2 "Изменить границы допуска".
class ViolationView : public QDialog {
    Q_OBJECT
public:
    ViolationView(ToleranceWindow& editor, QWidget* parent = nullptr);
    ~ViolationView() override;

    // Modal. True when the bounds editor was opened from here and stored a bound.
    bool run(GroupList& groups, const ValueStyle& style, std::string& soundFile, const std::string& folder);

    // The steps of run() for tests: fill() shows the rows; after the view closed,
    // boundsChanged() tells whether the editor stored a bound.
    void fill(GroupList& groups, const ValueStyle& style, std::string& soundFile, const std::string& folder);
    bool boundsChanged() const { return changed_; }

private:
    void changeBounds();

    ToleranceWindow& editor_;
    GroupList* groups_ = nullptr;
    std::string* soundFile_ = nullptr;
    std::string folder_;
    bool changed_ = false;
    QTableWidget* grid_ = nullptr;
};

} // namespace kv
