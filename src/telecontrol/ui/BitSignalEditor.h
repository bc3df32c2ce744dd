#pragma once
#include <QDialog>
#include <QString>
#include <functional>

#include "lists/ui/ListWindow.h"
#include "telecontrol/BitSignals.h"

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace kv {

class Operator;

inline constexpr const char* kAddBitSignalCaption = "Добавить описатель в список входных сигналов";
inline constexpr const char* kInsertBitSignalCaption = "Вставить описатель в список входных сигналов";
inline constexpr const char* kChangeBitSignalCaption = "Изменить описатель в списке входных сигналов";

// The description editor: one bit-signal description at a time, modal, called by the list
// window in its bit-signal mode. Controls by object name: `Edit1` name (typing stops at 21
// characters), `ComboBox1` the buffer kinds of the controller model, `SpinEdit1` the position
// in the buffer (wrapping within the kind's range), `SpinEdit2` the normal state (0/1,
// wrapping), `Edit2` / `Edit3` the normal and alarm texts (typing stops at 14 characters),
// `Button1` "Сохранить", `Button2` "Отмена".
class BitSignalEditor : public QDialog {
    Q_OBJECT
public:
    explicit BitSignalEditor(Operator& op, QWidget* parent = nullptr);
    ~BitSignalEditor() override;

    // Edits slot `pos` of `table` for a controller of model `model` (0..3): Change the
    // description there, Add one at pos = count, Insert one before pos. Returns the mode
    // (1 change, 2 add, 3 insert) when the description was saved, 0 when not.
    int run(BitSignalTable& table, int model, BitSignalEdit mode, int pos, const QString& caption);
    // The same steps without the modal loop: caption, kind list and fields as on entry.
    void prepare(BitSignalTable& table, int model, BitSignalEdit mode, int pos, const QString& caption);

    // "Сохранить": stays open with the focus on the field at fault (and a message for a
    // duplicate), otherwise writes the description and closes.
    void save();
    // What the last run handed back: the mode when saved, 0 otherwise.
    int savedMode() const { return savedMode_; }

private:
    void chooseKind(int item);
    BitSignalForm form() const;

    Operator& op_;
    BitSignalTable* table_ = nullptr;
    int model_ = 0;
    BitSignalEdit mode_ = BitSignalEdit::None;
    int pos_ = 0;
    int savedMode_ = 0;
    QLineEdit* name_ = nullptr;
    QComboBox* kind_ = nullptr;
    QSpinBox* position_ = nullptr;
    QSpinBox* normal_ = nullptr;
    QLineEdit* normalText_ = nullptr;
    QLineEdit* alarmText_ = nullptr;
};

// The bit-signal descriptions as the list window's bit-signal mode: at most 64, each row
// the description's name, kind and position; Add, Insert and Change open the editor, Delete
// moves the following descriptions up.
//
// Entry point for the main window's "Описание битовых сигналов":
//     BitSignalEditor bitEditor(op, this);                                   // once
//     BitSignalListItems bitItems(table, bitEditor, [&ws] { return ws.modelIndex; });
//     listWindow.setItems(ListMode::BitSignals, &bitItems);                  // once
//     listWindow.run(ListMode::BitSignals, QString::fromUtf8(kBitSignalListCaption), 14);
//     table.save(ws.bitSignalFile());   // 4096 bytes, or an empty file without descriptions
// where `table` is the run's description table (loaded at every activation with
// table.load(ws.bitSignalFile())).
class BitSignalListItems final : public ListItems {
public:
    BitSignalListItems(BitSignalTable& table, BitSignalEditor& editor, std::function<int()> model)
        : table_(table), editor_(editor), model_(std::move(model)) {}

    int count() const override { return table_.count(); }
    QString rowText(int pos) const override;
    int limit() const override { return kBitSignalSlots; }
    std::string limitMessage() const override { return kBitSignalLimitMessage; }
    bool add(int pos, bool insert) override;
    bool change(int pos) override;
    void remove(int pos) override { table_.remove(pos); }

private:
    int model() const { return model_ ? model_() : 0; }

    BitSignalTable& table_;
    BitSignalEditor& editor_;
    std::function<int()> model_;
};

} // namespace kv
