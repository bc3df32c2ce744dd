#include "telecontrol/ui/BitSignalEditor.h"

#include <algorithm>

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/Operator.h"

namespace kv {

namespace {

// Typing stops at the field's limit; editing keys always pass. Unlike a maximum length it
// leaves a longer text read from the file alone until the operator shortens it.
class TypingLimit final : public QObject {
public:
    TypingLimit(QLineEdit* edit, int limit) : QObject(edit), edit_(edit), limit_(limit)
    {
        edit->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != edit_ || event->type() != QEvent::KeyPress)
            return false;
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        if (typed.isEmpty() || !typed.at(0).isPrint())
            return false;   // Backspace, Enter, line feed, cursor keys, shortcuts
        return edit_->text().size() >= limit_ && !edit_->hasSelectedText();
    }

private:
    QLineEdit* edit_;
    int limit_;
};

QLineEdit* lineEdit(QWidget* parent, const char* name, int typingLimit)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    new TypingLimit(e, typingLimit);
    return e;
}

QSpinBox* spin(QWidget* parent, const char* name)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setWrapping(true);
    s->setMinimumWidth(90);
    s->setMaximumWidth(120);
    return s;
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

BitSignalEditor::BitSignalEditor(Operator& op, QWidget* parent) : QDialog(parent), op_(op)
{
    setObjectName(QStringLiteral("BitSignalEditor"));
    setWindowTitle(QString::fromUtf8(kAddBitSignalCaption));

    name_ = lineEdit(this, "Edit1", int(kBitSignalNameTyping));
    name_->setMinimumWidth(260);
    kind_ = new QComboBox(this);
    kind_->setObjectName(QStringLiteral("ComboBox1"));
    position_ = spin(this, "SpinEdit1");
    normal_ = spin(this, "SpinEdit2");
    normal_->setRange(0, 1);
    normalText_ = lineEdit(this, "Edit2", int(kBitSignalTextTyping));
    alarmText_ = lineEdit(this, "Edit3", int(kBitSignalTextTyping));

    auto* signalBox = new QGroupBox(this);
    auto* signalForm = new QFormLayout(signalBox);
    signalForm->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    signalForm->addRow(QStringLiteral("Наименование битового сигнала"), name_);
    signalForm->addRow(QStringLiteral("Буфер битовых сигналов"), kind_);
    signalForm->addRow(QStringLiteral("Порядковый номер сигнала в буфере "), position_);
    signalForm->addRow(QStringLiteral("Нормальное состояние сигнала"), normal_);

    auto* textBox = new QGroupBox(this);
    auto* textForm = new QFormLayout(textBox);
    textForm->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    textForm->addRow(QStringLiteral("Сообщение о нормальном состоянии"), normalText_);
    textForm->addRow(QStringLiteral("Сообщение об аварийном состоянии"), alarmText_);

    // Both boxes line their fields up on one column.
    int labelWidth = 0;
    for (QFormLayout* f : {signalForm, textForm})
        for (int r = 0; r < f->rowCount(); ++r)
            if (auto* item = f->itemAt(r, QFormLayout::LabelRole); item && item->widget())
                labelWidth = std::max(labelWidth, item->widget()->sizeHint().width());
    for (QFormLayout* f : {signalForm, textForm})
        for (int r = 0; r < f->rowCount(); ++r)
            if (auto* item = f->itemAt(r, QFormLayout::LabelRole); item && item->widget())
                item->widget()->setMinimumWidth(labelWidth);

    auto* saveButton = new QPushButton(QStringLiteral("Сохранить"), this);
    saveButton->setObjectName(QStringLiteral("Button1"));
    saveButton->setAutoDefault(false);
    saveButton->setMinimumWidth(110);
    auto* cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    cancelButton->setAutoDefault(false);
    cancelButton->setMinimumWidth(110);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(signalBox);
    layout->addWidget(textBox);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(kind_, &QComboBox::activated, this, &BitSignalEditor::chooseKind);
    connect(saveButton, &QPushButton::clicked, this, &BitSignalEditor::save);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

BitSignalEditor::~BitSignalEditor() = default;

void BitSignalEditor::prepare(BitSignalTable& table, int model, BitSignalEdit mode, int pos, const QString& caption)
{
    table_ = &table;
    model_ = model;
    mode_ = mode;
    pos_ = pos;
    savedMode_ = 0;
    setWindowTitle(caption);

    kind_->clear();
    for (const SignalKind& k : signalKinds(model))
        kind_->addItem(qs(k.name));

    const BitSignalForm f = formOnEntry(table, mode, pos, model);
    name_->setText(qs(f.name));
    normalText_->setText(qs(f.normalText));
    alarmText_->setText(qs(f.alarmText));
    normal_->setValue(f.normal);
    kind_->setCurrentIndex(f.kindItem);
    if (f.kindItem >= 0) {
        const SignalKind& k = signalKinds(model)[std::size_t(f.kindItem)];
        position_->setRange(k.first, k.last);
    } else {
        position_->setRange(0, 255);
    }
    position_->setValue(f.position);
    name_->setFocus();
}

int BitSignalEditor::run(BitSignalTable& table, int model, BitSignalEdit mode, int pos, const QString& caption)
{
    prepare(table, model, mode, pos, caption);
    exec();
    return savedMode_;
}

void BitSignalEditor::chooseKind(int item)
{
    const auto& kinds = signalKinds(model_);
    if (item < 0 || item >= int(kinds.size()))
        return;
    position_->setRange(kinds[std::size_t(item)].first, kinds[std::size_t(item)].last);
    position_->setValue(kinds[std::size_t(item)].first);
}

BitSignalForm BitSignalEditor::form() const
{
    BitSignalForm f;
    f.name = name_->text().toStdString();
    f.kindItem = kind_->currentIndex();
    f.position = position_->value();
    f.normal = normal_->value();
    f.normalText = normalText_->text().toStdString();
    f.alarmText = alarmText_->text().toStdString();
    return f;
}

void BitSignalEditor::save()
{
    if (!table_)
        return;
    const BitSignalSave r = saveForm(*table_, mode_, pos_, model_, form());
    if (!r.message.empty())
        op_.message(MessageKind::Warning, r.message);
    switch (r.focus) {
    case BitSignalSave::Focus::Name: name_->setFocus(); break;
    case BitSignalSave::Focus::Kind: kind_->setFocus(); break;
    case BitSignalSave::Focus::Position: position_->setFocus(); break;
    case BitSignalSave::Focus::None: break;
    }
    if (!r.saved)
        return;
    savedMode_ = int(mode_);
    accept();
}

// ---- the list window's bit-signal mode ---------------------------------------------------

QString BitSignalListItems::rowText(int pos) const
{
    return QString::fromStdString(bitSignalRow(table_.at(pos), model()));
}

bool BitSignalListItems::add(int pos, bool insert)
{
    const QString caption = QString::fromUtf8(insert ? kInsertBitSignalCaption : kAddBitSignalCaption);
    return editor_.run(table_, model(), insert ? BitSignalEdit::Insert : BitSignalEdit::Add, pos, caption) != 0;
}

bool BitSignalListItems::change(int pos)
{
    return editor_.run(table_, model(), BitSignalEdit::Change, pos, QString::fromUtf8(kChangeBitSignalCaption)) != 0;
}

} // namespace kv
