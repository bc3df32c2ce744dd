#include "online/ui/PollFrequencyWindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "lists/ui/SoundFileChooser.h"

namespace kv {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

PollFrequencyWindow::PollFrequencyWindow(Operator& op, QWidget* parent) : QDialog(parent), op_(op)
{
    setObjectName(QStringLiteral("AtimeOTc"));
    setWindowTitle(QString::fromUtf8(kPollFrequencyCaption));

    failureBox_ = new QCheckBox(QStringLiteral("Периодический опрос страницы отказов "), this);
    failureBox_->setObjectName(QStringLiteral("CheckBox1"));
    failureLabel_ = new QLabel(QStringLiteral("Частота опроса (секунды)"), this);
    failureLabel_->setObjectName(QStringLiteral("Label1"));
    failureEdit_ = new QLineEdit(this);
    failureEdit_->setObjectName(QStringLiteral("Edit1"));
    failureEdit_->setFixedWidth(60);
    failureSoundBox_ = new QCheckBox(QStringLiteral("Звувой файл"), this);
    failureSoundBox_->setObjectName(QStringLiteral("CheckBox2"));
    failureFile_ = fileField("FilenameEdit1", failureFileEdit_);

    telesignalPanel_ = new QWidget(this);
    telesignalPanel_->setObjectName(QStringLiteral("Panel1"));
    auto* tsLabel = new QLabel(QStringLiteral("Частота опроса параметров\nтелесигнализации"), telesignalPanel_);
    tsLabel->setObjectName(QStringLiteral("Label2"));
    telesignalEdit_ = new QLineEdit(telesignalPanel_);
    telesignalEdit_->setObjectName(QStringLiteral("Edit2"));
    telesignalEdit_->setFixedWidth(60);
    telesignalSoundBox_ = new QCheckBox(QStringLiteral("Звувой файл"), telesignalPanel_);
    telesignalSoundBox_->setObjectName(QStringLiteral("CheckBox3"));
    telesignalFile_ = fileField("FilenameEdit2", telesignalFileEdit_);
    telesignalFile_->setParent(telesignalPanel_);
    auto* tsLayout = new QGridLayout(telesignalPanel_);
    tsLayout->setContentsMargins(0, 8, 0, 0);
    tsLayout->addWidget(tsLabel, 0, 0);
    tsLayout->addWidget(telesignalEdit_, 0, 1);
    tsLayout->addWidget(telesignalSoundBox_, 1, 0, 1, 2);
    tsLayout->addWidget(telesignalFile_, 2, 0, 1, 2);

    saveButton_ = new QPushButton(QStringLiteral("Сохранить"), this);
    saveButton_->setObjectName(QStringLiteral("Button1"));
    saveButton_->setAutoDefault(false);
    exitButton_ = new QPushButton(QStringLiteral("Выход"), this);
    exitButton_->setObjectName(QStringLiteral("Button2"));
    exitButton_->setAutoDefault(false);

    auto* failureRow = new QHBoxLayout;
    failureRow->addWidget(failureLabel_);
    failureRow->addWidget(failureEdit_);
    failureRow->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton_);
    buttons->addWidget(exitButton_);
    auto* top = new QVBoxLayout(this);
    top->addWidget(failureBox_);
    top->addLayout(failureRow);
    top->addWidget(failureSoundBox_);
    top->addWidget(failureFile_);
    top->addWidget(telesignalPanel_);
    top->addStretch();
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(360);

    failureEdit_->installEventFilter(this);
    telesignalEdit_->installEventFilter(this);
    for (QCheckBox* box : {failureBox_, failureSoundBox_, telesignalSoundBox_})
        connect(box, &QCheckBox::toggled, this, &PollFrequencyWindow::updateVisibility);
    // A file name typed or chosen is an edit worth asking about before it is dropped.
    for (QLineEdit* e : {failureFileEdit_, telesignalFileEdit_})
        connect(e, &QLineEdit::textEdited, this, [this] { changed_ = true; });
    connect(saveButton_, &QPushButton::clicked, this, [this] {
        if (save())
            accept();
    });
    // "Выход", Esc and the window's close button all end in reject().
    connect(exitButton_, &QPushButton::clicked, this, &PollFrequencyWindow::reject);
}

PollFrequencyWindow::~PollFrequencyWindow() = default;

QWidget* PollFrequencyWindow::fileField(const char* name, QLineEdit*& edit)
{
    auto* w = new QWidget(this);
    w->setObjectName(QString::fromLatin1(name));
    edit = new QLineEdit(w);
    edit->setMinimumWidth(280);
    auto* button = new QToolButton(w);
    button->setText(QStringLiteral("..."));
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(edit);
    l->addWidget(button);
    QLineEdit* target = edit;
    connect(button, &QToolButton::clicked, this, [this, target] { browse(target); });
    return w;
}

bool PollFrequencyWindow::edit(ChannelSettings& s, bool telesignalsShown, const std::string& folder)
{
    activate(s, telesignalsShown, folder);
    exec();
    if (saved_)
        s = settings_;
    return saved_;
}

void PollFrequencyWindow::activate(const ChannelSettings& s, bool telesignalsShown, const std::string& folder)
{
    settings_ = s;
    folder_ = folder;
    telesignalsShown_ = telesignalsShown;
    saved_ = false;
    const PollFrequencyForm f = pollFrequencyForm(s, telesignalsShown);
    failureEdit_->setText(q(f.failurePeriod));
    telesignalEdit_->setText(q(f.telesignalPeriod));
    failureBox_->setChecked(f.failureWatch);
    failureSoundBox_->setChecked(f.failureSound);
    failureFileEdit_->setText(q(f.failureSoundFile));
    telesignalSoundBox_->setChecked(f.telesignalSound);
    telesignalFileEdit_->setText(q(f.telesignalSoundFile));
    updateVisibility();
    changed_ = false;
}

void PollFrequencyWindow::updateVisibility()
{
    failureLabel_->setVisible(failureBox_->isChecked());
    failureEdit_->setVisible(failureBox_->isChecked());
    failureFile_->setVisible(failureSoundBox_->isChecked());
    telesignalPanel_->setVisible(telesignalsShown_);
    telesignalFile_->setVisible(telesignalsShown_ && telesignalSoundBox_->isChecked());
}

bool PollFrequencyWindow::save()
{
    PollFrequencyForm f;
    f.failureWatch = failureBox_->isChecked();
    f.failurePeriod = failureEdit_->text().toStdString();
    f.failureSound = failureSoundBox_->isChecked();
    f.failureSoundFile = failureFileEdit_->text().toStdString();
    f.telesignalsShown = telesignalsShown_;
    f.telesignalPeriod = telesignalEdit_->text().toStdString();
    f.telesignalSound = telesignalSoundBox_->isChecked();
    f.telesignalSoundFile = telesignalFileEdit_->text().toStdString();
    ChannelSettings s = settings_;
    switch (savePollFrequency(f, s)) {
    case PollField::FailurePeriod:
        failureEdit_->setFocus();
        failureEdit_->selectAll();
        return false;
    case PollField::TelesignalPeriod:
        telesignalEdit_->setFocus();
        telesignalEdit_->selectAll();
        return false;
    case PollField::None:
        break;
    }
    settings_ = s;
    saved_ = true;
    changed_ = false;
    return true;
}

bool PollFrequencyWindow::mayClose()
{
    if (!changed_ || !op_.askYesNo(kSaveChangesQuestion))
        return true;
    // A refused period keeps the window open on it rather than dropping what was typed.
    return save();
}

void PollFrequencyWindow::reject()
{
    if (mayClose())
        QDialog::reject();
}

bool PollFrequencyWindow::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == failureEdit_ || watched == telesignalEdit_) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString t = key->text();
        if (t.size() != 1 || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return QDialog::eventFilter(watched, event);
        const ushort ch = t.at(0).unicode();
        if (ch >= 128 || !acceptPeriodKey(char(ch)))
            return true;
        changed_ = true;
    }
    return QDialog::eventFilter(watched, event);
}

void PollFrequencyWindow::browse(QLineEdit* edit)
{
    const QString name = chooseSoundFile(this, edit->text(), folder_);
    if (!name.isEmpty()) {
        edit->setText(name);
        changed_ = true;
    }
}

} // namespace kv
