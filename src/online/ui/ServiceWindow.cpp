#include "online/ui/ServiceWindow.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Workspace.h"
#include "text/DateTime.h"

namespace kv {

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text = {})
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QProgressBar* bar(QWidget* parent, const char* name, int max)
{
    auto* b = new QProgressBar(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setRange(0, max);
    b->setTextVisible(false);
    b->hide();
    return b;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

// Hours and minutes change only by the arrows, and wrap around at their ends.
class ArrowSpinBox final : public QSpinBox {
public:
    ArrowSpinBox(QWidget* parent, const char* name, int max) : QSpinBox(parent)
    {
        setObjectName(QString::fromLatin1(name));
        setRange(0, max);
        setWrapping(true);
        lineEdit()->setReadOnly(true);
    }
};

} // namespace

ServiceWindow::ServiceWindow(Workspace& ws, QWidget* parent) : QDialog(parent), ws_(ws), ops_(ws)
{
    setObjectName(QStringLiteral("TPn5"));
    setModal(true);
    auto* outer = new QVBoxLayout(this);

    // Page 0: failure reset.
    resetPage_ = new QWidget(this);
    resetPage_->setObjectName(QStringLiteral("Panel1"));
    {
        auto* l = new QVBoxLayout(resetPage_);
        resetHeading_ = label(resetPage_, "Label1", QString::fromStdString(kServiceTitles[kServiceResetFailures]));
        QFont f = resetHeading_->font();
        f.setBold(true);
        resetHeading_->setFont(f);
        resetResult_ = label(resetPage_, "Label2");
        resetBar_ = bar(resetPage_, "ProgressBar1", 10);
        auto* exit = button(resetPage_, "Button1", QStringLiteral("Выход"));
        connect(exit, &QPushButton::clicked, this, &ServiceWindow::exitClicked);
        l->addWidget(resetHeading_);
        l->addWidget(resetResult_);
        l->addWidget(resetBar_);
        l->addWidget(exit, 0, Qt::AlignRight);
    }
    outer->addWidget(resetPage_);

    // Page 1: the line speed.
    speedPage_ = new QWidget(this);
    speedPage_->setObjectName(QStringLiteral("Panel2"));
    {
        auto* l = new QVBoxLayout(speedPage_);
        auto* box = new QGroupBox(QStringLiteral("Предлагаемая скорость обмена"), speedPage_);
        box->setObjectName(QStringLiteral("RadioGroup1"));
        auto* grid = new QGridLayout(box);
        speeds_ = new QButtonGroup(box);
        for (int i = 0; i < int(kServiceSpeedItems.size()); ++i) {
            auto* r = new QRadioButton(QString::fromStdString(kServiceSpeedItems[std::size_t(i)]), box);
            speeds_->addButton(r, i);
            grid->addWidget(r, i % 3, i / 3);   // three columns, filled top to bottom
        }
        speedProgress_ = label(speedPage_, "Label3");
        speedResult_ = label(speedPage_, "Label4");
        speedBar_ = bar(speedPage_, "ProgressBar2", 8);
        auto* set = button(speedPage_, "Button2", QStringLiteral("Установить"));
        auto* exit = button(speedPage_, "Button3", QStringLiteral("Выход"));
        connect(set, &QPushButton::clicked, this, &ServiceWindow::setClicked);
        connect(exit, &QPushButton::clicked, this, &ServiceWindow::exitClicked);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(set);
        buttons->addWidget(exit);
        l->addWidget(box);
        l->addWidget(speedProgress_);
        l->addWidget(speedResult_);
        l->addWidget(speedBar_);
        l->addLayout(buttons);
    }
    outer->addWidget(speedPage_);

    // Page 2: the controller's clock.
    clockPage_ = new QWidget(this);
    clockPage_->setObjectName(QStringLiteral("Panel3"));
    {
        auto* l = new QVBoxLayout(clockPage_);
        traceText_ = label(clockPage_, "Label9");
        QFont small = traceText_->font();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        traceText_->setFont(small);
        clockPage_->setMinimumWidth(320);
        dateText_ = label(clockPage_, "Label7");
        timeText_ = label(clockPage_, "Label8");
        QFont big = dateText_->font();
        big.setPointSizeF(big.pointSizeF() * 1.3);
        dateText_->setFont(big);
        timeText_->setFont(big);
        auto* exit = button(clockPage_, "Button5", QStringLiteral("Выход"));
        connect(exit, &QPushButton::clicked, this, &ServiceWindow::exitClicked);
        l->addWidget(traceText_, 0, Qt::AlignRight);
        l->addWidget(dateText_);
        l->addWidget(timeText_);
        l->addWidget(exit, 0, Qt::AlignRight);
    }
    outer->addWidget(clockPage_);

    // Pages 3 and 4: the clock set and the switch to "РАБОТА", both behind the access password.
    runPage_ = new QWidget(this);
    runPage_->setObjectName(QStringLiteral("Panel4"));
    {
        auto* l = new QVBoxLayout(runPage_);
        passwordBox_ = new QGroupBox(QStringLiteral("Пароль доступа ЗЕНТАР"), runPage_);
        passwordBox_->setObjectName(QStringLiteral("GroupBox1"));
        auto* pl = new QHBoxLayout(passwordBox_);
        password_ = new QLineEdit(passwordBox_);
        password_->setObjectName(QStringLiteral("Edit1"));
        // Hexadecimal digits only; four of them are the whole 16-bit password.
        password_->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]*")), password_));
        password_->setMaxLength(4);
        pl->addWidget(password_);
        timeBox_ = new QGroupBox(QStringLiteral("Установить время"), runPage_);
        timeBox_->setObjectName(QStringLiteral("GroupBox2"));
        auto* tl = new QHBoxLayout(timeBox_);
        hour_ = new ArrowSpinBox(timeBox_, "SpinEdit1", 23);
        minute_ = new ArrowSpinBox(timeBox_, "SpinEdit2", 59);
        tl->addWidget(hour_);
        tl->addWidget(new QLabel(QStringLiteral("час"), timeBox_));
        tl->addWidget(minute_);
        tl->addWidget(new QLabel(QStringLiteral("мин"), timeBox_));
        dateBox_ = new QGroupBox(QStringLiteral("Установить дату"), runPage_);
        dateBox_->setObjectName(QStringLiteral("GroupBox3"));
        auto* dl = new QHBoxLayout(dateBox_);
        date_ = new QDateEdit(dateBox_);
        date_->setObjectName(QStringLiteral("DateTimePicker1"));
        date_->setCalendarPopup(true);
        date_->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        dl->addWidget(date_);
        runResult_ = label(runPage_, "Label5");
        runResult_->setWordWrap(true);
        runResult2_ = label(runPage_, "Label6");
        runBar_ = bar(runPage_, "ProgressBar3", 10);
        setButton_ = button(runPage_, "Button6", QStringLiteral("Установить"));
        auto* exit = button(runPage_, "Button7", QStringLiteral("Выход"));
        connect(setButton_, &QPushButton::clicked, this, &ServiceWindow::setClicked);
        connect(exit, &QPushButton::clicked, this, &ServiceWindow::exitClicked);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(setButton_);
        buttons->addWidget(exit);
        l->addWidget(passwordBox_);
        l->addWidget(timeBox_);
        l->addWidget(dateBox_);
        l->addWidget(runResult_);
        l->addWidget(runResult2_);
        l->addWidget(runBar_);
        l->addLayout(buttons);
    }
    outer->addWidget(runPage_);
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

bool ServiceWindow::runPage(int mode)
{
    if (mode < kServiceResetFailures || mode > kServiceRun)
        return false;
    mode_ = mode;
    confirmed_ = false;
    resetPage_->setVisible(mode == kServiceResetFailures);
    speedPage_->setVisible(mode == kServiceChangeSpeed);
    clockPage_->setVisible(mode == kServiceReadClock);
    runPage_->setVisible(mode == kServiceSetClock || mode == kServiceRun);
    setWindowTitle(QString::fromStdString(kServiceTitles[std::size_t(mode)]));
    activatePage();
    adjustSize();
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
    // The pages that work without a question start once the window is up.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() || running_)
            return;
        running_ = true;
        if (mode_ == kServiceResetFailures) {
            const auto out = ops_.resetFailures(progressTo(resetBar_));
            showOutcome(resetResult_, out);
        } else if (mode_ == kServiceReadClock) {
            const auto c = ops_.readClock();
            dateText_->setText(QString::fromStdString(c.date));
            timeText_->setText(QString::fromStdString(c.time));
        }
        running_ = false;
        // The texts just shown decide the size of the page.
        adjustSize();
        if (isVisible())
            Q_EMIT pageReady();
    });
    exec();
    return confirmed_;
}

void ServiceWindow::activatePage()
{
    traceText_->clear();
    ops_.begin();
    switch (mode_) {
    case kServiceResetFailures:
        resetResult_->clear();
        resetBar_->hide();
        break;
    case kServiceReadClock:
        dateText_->clear();
        timeText_->clear();
        break;
    case kServiceChangeSpeed:
        speedProgress_->clear();
        speedResult_->clear();
        speeds_->button(speedItemFor(ws_.settings().speed))->setChecked(true);
        speedBar_->hide();
        break;
    case kServiceSetClock: {
        runResult_->clear();
        runResult2_->clear();
        runResult2_->show();
        timeBox_->show();
        dateBox_->show();
        const auto now = text::decodeDateTime(ws_.clock().now());
        hour_->setValue(now.hour);
        minute_->setValue(now.minute);
        date_->setDate(QDate(now.year, now.month, now.day));
        password_->setText(QString::fromStdString(passwordText(kBlankPassword)));
        runBar_->hide();
        break;
    }
    case kServiceRun:
        runResult_->clear();
        runBar_->hide();
        runResult2_->hide();
        timeBox_->hide();
        dateBox_->hide();
        password_->setText(QString::fromStdString(passwordText(kBlankPassword)));
        break;
    default:
        break;
    }
}

ServiceOperations::Progress ServiceWindow::progressTo(QProgressBar* bar)
{
    return [bar](int step) {
        if (step == 1) {
            bar->setValue(0);
            bar->show();
        }
        bar->setValue(step);
    };
}

void ServiceWindow::showOutcome(QLabel* label, const ServiceOutcome& out)
{
    // Results keep their line breaks (CR) when shown.
    QString t = QString::fromStdString(out.text);
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    label->setText(t);
    if (out.confirmed)
        confirmed_ = true;
}

void ServiceWindow::setClicked()
{
    if (running_)
        return;
    if (mode_ == kServiceChangeSpeed) {
        const int index = speeds_->checkedId() < 0 ? speedItemFor(ws_.settings().speed) : speeds_->checkedId();
        speedResult_->clear();
        speedProgress_->setText(QString::fromStdString(speedProgressText(index)));
        running_ = true;
        const auto out = ops_.changeSpeed(index, progressTo(speedBar_));
        running_ = false;
        if (!out.confirmed)
            speedBar_->hide();
        showOutcome(speedResult_, out);
        return;
    }
    if (mode_ != kServiceRun && mode_ != kServiceSetClock)
        return;
    runResult_->clear();
    running_ = true;
    ServiceOutcome out;
    if (mode_ == kServiceRun) {
        out = ops_.switchToRun(password_->text().toStdString(), progressTo(runBar_));
    } else {
        const QDate d = date_->date();
        ClockSetting to;
        to.hour = hour_->value();
        to.minute = minute_->value();
        to.year = d.year();
        to.month = d.month();
        to.day = d.day();
        out = ops_.setClock(password_->text().toStdString(), to);
        runResult2_->setText(QString::fromStdString(out.secondText));
    }
    running_ = false;
    if (out.needPassword) {
        password_->setFocus();
        return;
    }
    showOutcome(runResult_, out);
    adjustSize();
}

void ServiceWindow::exitClicked()
{
    // A command still running sees the flag at its next check and puts the cursor back.
    ops_.stop();
    if (mode_ == kServiceChangeSpeed || mode_ == kServiceSetClock || mode_ == kServiceRun)
        ops_.restoreSpeed();
    done(QDialog::Rejected);
}

void ServiceWindow::reject()
{
    exitClicked();
}

} // namespace kv
