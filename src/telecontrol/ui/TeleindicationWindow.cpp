#include "telecontrol/ui/TeleindicationWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Workspace.h"

namespace kv {

namespace {

constexpr int kLampStrip = 18;          // the lamp's part of a cell
constexpr int kTextLeft = 25;           // texts start here within a cell
constexpr int kMargin = 6;              // around the drawing in the window
const QColor kLampGreen(0, 255, 0);
const QColor kLampRed(255, 0, 0);
const QColor kFrame(128, 128, 128);
const QColor kStripFill(236, 236, 236);
const QColor kNormalInk(0, 110, 0);
const QColor kAlarmInk(180, 0, 0);

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

// ---- the drawing -------------------------------------------------------------------------

TeleindicationCells::TeleindicationCells(const BitSignalTable& table, QWidget* parent)
    : QWidget(parent), table_(table)
{
    setObjectName(QStringLiteral("Image1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize TeleindicationCells::drawingSize(int count)
{
    return {kCellWidth * kColumns + 2, kCellHeight * rowsFor(count) + 2};
}

QRect TeleindicationCells::cellRect(int i, int rows)
{
    const int left = std::max(0, (drawingSize(0).width() - kCellWidth * kColumns) / 2);
    if (rows <= 0)
        return {left, 1, kCellWidth, kCellHeight};
    return {left + (i / rows) * kCellWidth, 1 + (i % rows) * kCellHeight, kCellWidth, kCellHeight};
}

QSize TeleindicationCells::sizeHint() const { return drawingSize(table_.count()); }

void TeleindicationCells::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());

    QFont nameFont = font();
    nameFont.setPixelSize(11);
    nameFont.setStretch(QFont::Condensed);
    QFont stateFont = nameFont;
    stateFont.setPixelSize(10);

    const int count = table_.count();
    const int rows = rowsFor(count);
    const bool read = watch_ && watch_->signalsRead();
    for (int i = 0; i < rows * kColumns; ++i) {
        const QRect cell = cellRect(i, rows);
        const QRect strip(cell.x(), cell.y(), kLampStrip, kCellHeight);
        const QRect textArea(cell.x() + kLampStrip, cell.y(), kCellWidth - kLampStrip, kCellHeight);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(kFrame);
        p.setBrush(kStripFill);
        // Frames drawn one pixel wide on their outer edge: neighbouring cells share one line.
        p.drawRect(strip);
        p.setBrush(Qt::white);
        p.drawRect(textArea);
        if (i >= count)
            continue;

        const BitSignal& s = table_.at(i);
        QColor lamp = Qt::white;
        QString stateText;
        QColor ink = Qt::black;
        if (read) {
            const uint8_t state = watch_->states()[std::size_t(i)];
            if (state == kSignalNormal) {
                lamp = kLampGreen;
                stateText = qs(s.normalText);
                ink = kNormalInk;
            } else if (state == kSignalAlarm) {
                lamp = kLampRed;
                stateText = qs(s.alarmText);
                ink = kAlarmInk;
            }
        }
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(lamp == Qt::white ? kFrame : lamp.darker(160), 1));
        p.setBrush(lamp);
        p.drawEllipse(QRectF(lampRect(cell)).adjusted(0.5, 0.5, -0.5, -0.5));

        p.save();
        p.setClipRect(textArea.adjusted(1, 1, -1, -1));
        p.setPen(Qt::black);
        p.setFont(nameFont);
        const QRect nameBox(cell.x() + kTextLeft, cell.y() + 1, kCellWidth - kTextLeft - 2, 12);
        p.drawText(nameBox, Qt::AlignLeft | Qt::AlignVCenter, qs(padRight(s.name, 21)));
        p.setPen(ink);
        p.setFont(stateFont);
        const QRect stateBox(cell.x() + kTextLeft, cell.y() + 12, kCellWidth - kTextLeft - 2, 12);
        p.drawText(stateBox, Qt::AlignLeft | Qt::AlignVCenter, stateText);
        p.restore();
    }
}

// ---- polling of its own ------------------------------------------------------------------

// When no online view runs, the window reads the signals itself over the workspace's line.
class TeleindicationWindow::OwnLine final : public TelesignalHost {
public:
    OwnLine(Workspace& ws, const BitSignalTable& table, QLabel* status)
        : watch(ws.commands(), ws.clock(), table), ws_(ws), status_(status) {}

    SerialPort* port() override { return ws_.port(); }
    int channelType() const override { return ws_.settings().channelType; }
    int switchChannel() const override { return ws_.settings().multNumb; }
    bool pollAllowed() const override { return allowed_; }
    void setPollAllowed(bool allowed) override
    {
        allowed_ = allowed;
        if (!allowed)
            status_->clear();   // each poll shows its own failures only
    }
    void showStatus(const std::string& text) override
    {
        status_->setText(qs(text));
        status_->setVisible(true);
    }
    void setBusy(bool busy) override { ws_.op().setBusy(busy); }
    void processEvents() override { ws_.pump().processEvents(); }
    void drawSignalLamp(int) override {}
    bool soundOn() const override { return false; }
    void playSound(int) override {}

    TelesignalWatch watch;

private:
    Workspace& ws_;
    QLabel* status_;
    bool allowed_ = true;
};

// ---- the window --------------------------------------------------------------------------

TeleindicationWindow::TeleindicationWindow(const BitSignalTable& table, QWidget* parent)
    : QDialog(parent), table_(table)
{
    setObjectName(QStringLiteral("TeleindicationWindow"));
    setWindowTitle(QStringLiteral("Телеиндикация"));

    auto* menu = new QMenuBar(this);
    auto* exit = menu->addAction(QStringLiteral("Выход"));
    exit->setObjectName(QStringLiteral("actExit"));
    auto* telecontrol = menu->addAction(QStringLiteral("Телеуправление"));
    telecontrol->setObjectName(QStringLiteral("actTelecontrol"));
    connect(exit, &QAction::triggered, this, &QDialog::close);
    connect(telecontrol, &QAction::triggered, this, &TeleindicationWindow::runTelecontrol);

    cells_ = new TeleindicationCells(table, this);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("ScrollBox1"));
    scroll_->setWidget(cells_);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setFrameShape(QFrame::NoFrame);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("StatusText"));
    status_->setContentsMargins(6, 2, 6, 2);
    status_->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(4);
    layout->setMenuBar(menu);
    layout->addWidget(scroll_, 1);
    layout->addWidget(status_);

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &TeleindicationWindow::tick);
}

TeleindicationWindow::~TeleindicationWindow() = default;

void TeleindicationWindow::attachWatch(TelesignalWatch& watch)
{
    watch_ = &watch;
    cells_->setWatch(watch_);
    status_->setVisible(false);
}

void TeleindicationWindow::watchOwnLine(Workspace& ws)
{
    // Kept for the window's life: a poll may still be running inside a wait when the operator
    // asks for the window again.
    if (!ownLine_)
        ownLine_ = std::make_unique<OwnLine>(ws, table_, status_);
    ownLine_->watch.start(ws.settings().timTc);
    watch_ = &ownLine_->watch;
    cells_->setWatch(watch_);
    status_->clear();
    status_->setVisible(true);
}

void TeleindicationWindow::fitToSignals()
{
    cells_->setFixedSize(TeleindicationCells::drawingSize(table_.count()));
    QSize content = cells_->size() + QSize(2 * kMargin, 2 * kMargin);
    if (auto* bar = layout()->menuBar())
        content.rheight() += bar->sizeHint().height();
    if (status_->isVisibleTo(this))
        content.rheight() += status_->sizeHint().height() + layout()->spacing();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    content = content.boundedTo(avail.size() * 9 / 10);
    resize(content);
    const QSize frame = frameGeometry().size() - geometry().size();
    move(avail.center() - QPoint((content.width() + frame.width()) / 2, (content.height() + frame.height()) / 2));
}

void TeleindicationWindow::tick()
{
    if (suspended_)
        return;
    if (ownLine_ && watch_ == &ownLine_->watch)
        ownLine_->watch.tickStep(1, *ownLine_);
    if (watch_ && watch_->signalsRead()) {
        cells_->setFixedSize(TeleindicationCells::drawingSize(table_.count()));
        cells_->update();
    }
}

void TeleindicationWindow::runTelecontrol()
{
    if (telecontrol_) {
        // A modal window stays where it is (hiding it would end its modal loop); the
        // telecontrol window opens over it.
        const bool hideMe = !isModal();
        suspended_ = true;
        if (hideMe)
            hide();
        telecontrol_();
        if (hideMe)
            show();
        suspended_ = false;
    }
    if (watch_)
        watch_->pollSoon();
}

void TeleindicationWindow::showEvent(QShowEvent* event)
{
    cells_->setFixedSize(TeleindicationCells::drawingSize(table_.count()));
    if (!timer_->isActive())
        timer_->start();
    cells_->update();
    QDialog::showEvent(event);
}

void TeleindicationWindow::closeEvent(QCloseEvent* event)
{
    stop();
    QDialog::closeEvent(event);
}

void TeleindicationWindow::done(int result)
{
    stop();
    QDialog::done(result);
}

void TeleindicationWindow::stop() { timer_->stop(); }

} // namespace kv
