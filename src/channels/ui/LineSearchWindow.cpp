#include "channels/ui/LineSearchWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/Workspace.h"

namespace kv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

QLabel* progressLabel(const char* name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setMinimumWidth(220);
    return l;
}

} // namespace

LineSearchWindow::LineSearchWindow(Workspace& ws, QWidget* parent) : QDialog(parent), ws_(ws), search_(ws)
{
    setObjectName(QStringLiteral("TPn7"));
    setWindowTitle(QString::fromUtf8(kLineSearchCaption));
    setModal(true);

    auto* form = new QGroupBox(QStringLiteral("Вид сетевого номера"), this);
    form->setObjectName(QStringLiteral("RadioGroup1"));
    auto* formLayout = new QHBoxLayout(form);
    hex_ = new QRadioButton(QStringLiteral("Hex"), form);
    hex_->setObjectName(QStringLiteral("RadioHex"));
    dec_ = new QRadioButton(QStringLiteral("Dec"), form);
    dec_->setObjectName(QStringLiteral("RadioDec"));
    dec_->setChecked(true);
    formLayout->addWidget(hex_);
    formLayout->addWidget(dec_);

    auto* numberLabel = new QLabel(QStringLiteral("Сетевой номер"), this);
    number_ = new QLineEdit(this);
    number_->setObjectName(QStringLiteral("Edit1"));
    number_->setMaxLength(3);
    number_->installEventFilter(this);
    numberLabel->setBuddy(number_);
    auto* speedLabel = new QLabel(QStringLiteral("Скорость обмена"), this);
    speed_ = new QComboBox(this);
    speed_->setObjectName(QStringLiteral("ComboBox1"));
    speedLabel->setBuddy(speed_);

    auto* fields = new QGridLayout;
    fields->addWidget(form, 0, 0, 1, 2);
    fields->addWidget(numberLabel, 1, 0);
    fields->addWidget(number_, 1, 1);
    fields->addWidget(speedLabel, 2, 0);
    fields->addWidget(speed_, 2, 1);

    auto* progress = new QVBoxLayout;
    numberText_ = progressLabel("LabelNumber", this);
    speedText_ = progressLabel("LabelSpeed", this);
    outcome_ = progressLabel("LabelOutcome", this);
    model_ = progressLabel("LabelModel", this);
    model_->setWordWrap(true);
    model_->setMinimumHeight(model_->fontMetrics().lineSpacing() * 2);
    for (QLabel* l : {numberText_, speedText_, outcome_, model_})
        progress->addWidget(l);
    progress->addStretch();

    searchButton_ = new QPushButton(QStringLiteral("Подбор"), this);
    searchButton_->setObjectName(QStringLiteral("Button1"));
    searchButton_->setDefault(true);
    exitButton_ = new QPushButton(QStringLiteral("Выход"), this);
    exitButton_->setObjectName(QStringLiteral("Button2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(searchButton_);
    buttons->addWidget(exitButton_);

    status_ = new QStatusBar(this);
    status_->setObjectName(QStringLiteral("StatusBar1"));
    status_->setSizeGripEnabled(false);

    auto* top = new QHBoxLayout;
    top->addLayout(fields);
    top->addSpacing(16);
    top->addLayout(progress);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(status_);

    connect(searchButton_, &QPushButton::clicked, this, &LineSearchWindow::startSearch);
    connect(exitButton_, &QPushButton::clicked, this, &LineSearchWindow::exitWindow);
    search_.setDisplay([this](const LineSearchTexts& t) { showTexts(t); });
    search_.reset();
    number_->clear();
}

bool LineSearchWindow::hex() const { return hex_->isChecked(); }

void LineSearchWindow::run()
{
    speed_->clear();
    for (const std::string& item : searchSpeedItems(ws_.settings().channelType))
        speed_->addItem(qs(item));
    speed_->setCurrentIndex(0);
    number_->setText(qs(search_.opened(hex())));
    closeAfterSearch_ = false;
    searchButton_->setEnabled(true);
    number_->setFocus();
    exec();
}

void LineSearchWindow::startSearch()
{
    if (search_.running())
        return;
    searchButton_->setEnabled(false);
    search_.search(number_->text().toStdString(), hex(), speed_->currentIndex());
    searchButton_->setEnabled(true);
    if (closeAfterSearch_) {
        // "Выход" was chosen during the search: it takes effect now that the line is free.
        search_.exit();
        accept();
    }
}

void LineSearchWindow::exitWindow()
{
    search_.exit();
    if (search_.running())
        closeAfterSearch_ = true;
    else
        accept();
}

void LineSearchWindow::reject() { exitWindow(); }

void LineSearchWindow::done(int result)
{
    search_.reset();
    number_->clear();
    speed_->setCurrentIndex(0);
    QDialog::done(result);
}

bool LineSearchWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == number_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString t = key->text();
        if (t.isEmpty() || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return QDialog::eventFilter(watched, event);   // navigation and editing keys
        const QList<uint> codes = t.toUcs4();
        if (!search_.keyPressed(codes.isEmpty() ? 0 : char32_t(codes.front()), hex()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void LineSearchWindow::showTexts(const LineSearchTexts& t)
{
    numberText_->setText(qs(t.number));
    speedText_->setText(qs(t.speed));
    outcome_->setText(qs(t.outcome));
    model_->setText(qs(t.model));
    if (t.status.empty())
        status_->clearMessage();
    else
        status_->showMessage(qs(t.status));
}

} // namespace kv
