#include "channels/ui/ModemWindow.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Workspace.h"
#include "channels/ModemSession.h"

namespace kv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

QPlainTextEdit* resultField(const char* name, QWidget* parent)
{
    auto* f = new QPlainTextEdit(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setReadOnly(true);
    f->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    f->setFixedHeight(f->fontMetrics().lineSpacing() * 3 + 12);
    return f;
}

QRadioButton* choice(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QRadioButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

ModemWindow::ModemWindow(Workspace& ws, ModemSession& session, QWidget* parent)
    : QDialog(parent), ws_(ws), session_(session)
{
    setObjectName(QStringLiteral("TPn14"));
    setWindowTitle(QStringLiteral("Инициализация модема"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);

    auto* fields = new QGridLayout;
    auto* initLabel = new QLabel(QStringLiteral("Строка инициализации модема"), this);
    initLabel->setObjectName(QStringLiteral("Label1"));
    init_ = new QLineEdit(this);
    init_->setObjectName(QStringLiteral("Edit1"));
    init_->setMaxLength(255);
    auto* phoneLabel = new QLabel(QStringLiteral("Номер телефона "), this);
    phoneLabel->setObjectName(QStringLiteral("Label2"));
    phone_ = new QLineEdit(this);
    phone_->setObjectName(QStringLiteral("Edit2"));
    phone_->setMaxLength(50);
    fields->addWidget(initLabel, 0, 0);
    fields->addWidget(init_, 0, 1);
    fields->addWidget(phoneLabel, 1, 0);
    fields->addWidget(phone_, 1, 1);
    layout->addLayout(fields);

    auto* choices = new QHBoxLayout;
    auto* answer = new QGroupBox(QStringLiteral("Ответ модема"), this);
    answer->setObjectName(QStringLiteral("RadioGroup1"));
    auto* answerLayout = new QVBoxLayout(answer);
    digits_ = choice(QStringLiteral("Цифровой"), "AnswerDigits", answer);
    words_ = choice(QStringLiteral("Символьный"), "AnswerWords", answer);
    answerLayout->addWidget(digits_);
    answerLayout->addWidget(words_);
    auto* dialMode = new QGroupBox(QStringLiteral("Набор номера"), this);
    dialMode->setObjectName(QStringLiteral("RadioGroup2"));
    auto* dialLayout = new QVBoxLayout(dialMode);
    pulse_ = choice(QStringLiteral("Импульсный"), "DialPulse", dialMode);
    tone_ = choice(QStringLiteral("Тональный"), "DialTone", dialMode);
    dialLayout->addWidget(pulse_);
    dialLayout->addWidget(tone_);
    choices->addWidget(answer);
    choices->addWidget(dialMode);
    layout->addLayout(choices);

    auto* results = new QGroupBox(QStringLiteral("Ответ модема"), this);
    results->setObjectName(QStringLiteral("GroupBox1"));
    auto* resultsLayout = new QVBoxLayout(results);
    auto* upper = new QLabel(QStringLiteral("после инициализации"), results);
    upper->setObjectName(QStringLiteral("Label3"));
    afterInit_ = resultField("Memo1", results);
    auto* lower = new QLabel(QStringLiteral("после набора номера"), results);
    lower->setObjectName(QStringLiteral("Label4"));
    afterDial_ = resultField("Memo2", results);
    resultsLayout->addWidget(upper);
    resultsLayout->addWidget(afterInit_);
    resultsLayout->addWidget(lower);
    resultsLayout->addWidget(afterDial_);
    layout->addWidget(results);

    auto* buttons = new QHBoxLayout;
    dialButton_ = new QPushButton(QStringLiteral("Набор"), this);
    dialButton_->setObjectName(QStringLiteral("Button1"));
    dialButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Отказ"), this);
    cancelButton_->setObjectName(QStringLiteral("Button2"));
    buttons->addStretch();
    buttons->addWidget(dialButton_);
    buttons->addWidget(cancelButton_);
    buttons->addStretch();
    layout->addLayout(buttons);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &ModemWindow::tick);
    connect(dialButton_, &QPushButton::clicked, this, &ModemWindow::dial);
    connect(cancelButton_, &QPushButton::clicked, this, &ModemWindow::cancelDial);

    resize(520, sizeHint().height());
}

void ModemWindow::prepare()
{
    session_.windowOpened();
    const ModemFields f = modemFieldsFrom(ws_.settings());
    init_->setText(qs(f.init));
    phone_->setText(qs(f.phone));
    (f.words ? words_ : digits_)->setChecked(true);
    (f.tone ? tone_ : pulse_)->setChecked(true);
    dialButton_->setEnabled(true);
    afterInit_->clear();
    afterDial_->clear();
}

bool ModemWindow::bringUp()
{
    prepare();
    if (session_.state().redialInProgress)
        QTimer::singleShot(0, this, &ModemWindow::dial);
    timer_->start();
    exec();
    timer_->stop();
    return session_.connected();
}

void ModemWindow::dial()
{
    if (dialling_)
        return;
    // One dial at a time: the button stays off while the dialogue lets input through.
    dialling_ = true;
    dialButton_->setEnabled(false);
    afterInit_->clear();
    afterDial_->clear();
    ModemFields f;
    f.init = init_->text().toStdString();
    f.phone = phone_->text().toStdString();
    f.words = words_->isChecked();
    f.tone = tone_->isChecked();
    const ModemDialOutcome out = session_.dial(ws_.port(), ws_.settings().channelType, f);
    afterInit_->setPlainText(qs(out.afterInit));
    afterDial_->setPlainText(qs(out.afterDial));
    dialButton_->setEnabled(true);
    dialling_ = false;
}

void ModemWindow::cancelDial()
{
    reject();
}

void ModemWindow::reject()
{
    session_.cancel();
    QCoreApplication::processEvents();
    QDialog::reject();
}

void ModemWindow::tick()
{
    if (session_.connected())
        accept();
}

} // namespace kv
