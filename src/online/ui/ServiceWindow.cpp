#include "online/ui/ServiceWindow.h"

#include <QGroupBox>
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

    // Page 4: the switch to "РАБОТА" behind the access password.
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
        runResult_ = label(runPage_, "Label5");
        runResult_->setWordWrap(true);
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
        l->addWidget(runResult_);
        l->addWidget(runBar_);
        l->addLayout(buttons);
    }
    outer->addWidget(runPage_);
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

bool ServiceWindow::runPage(int mode)
{
    if (mode != kServiceResetFailures && mode != kServiceReadClock && mode != kServiceRun)
        return false;
    mode_ = mode;
    confirmed_ = false;
    resetPage_->setVisible(mode == kServiceResetFailures);
    clockPage_->setVisible(mode == kServiceReadClock);
    runPage_->setVisible(mode == kServiceRun);
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
    case kServiceRun:
        runResult_->clear();
        runBar_->hide();
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
    if (mode_ != kServiceRun || running_)
        return;
    runResult_->clear();
    running_ = true;
    const auto out = ops_.switchToRun(password_->text().toStdString(), progressTo(runBar_));
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
    done(QDialog::Rejected);
}

void ServiceWindow::reject()
{
    exitClicked();
}

} // namespace kv
