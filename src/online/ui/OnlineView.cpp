#include "online/ui/OnlineView.h"

#include <QAction>
#include <QDesktopServices>
#include <QEvent>
#include <QFontMetrics>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "app/Workspace.h"
#include "app/ui/Logo.h"
#include "platform/Sound.h"

namespace kv {

namespace {

constexpr int kClientWidth = 617;
constexpr int kClientHeight = 386;
constexpr int kRowPitch = 17;          // a 16-pixel row and its grid line
constexpr int kNameColumn = 262;
constexpr int kValueColumn = 110;
constexpr int kStripWidth = 20;
constexpr int kShownRows = 17;         // data rows the table shows in full
const QColor kShade(253, 238, 223);    // rows out of tolerance

QString qs(const std::string& s) { return QString::fromStdString(s); }

QColor lampColour(int state)
{
    switch (state) {
    case kLampNormal: return QColor(0, 255, 0);
    case kLampAlarm: return QColor(255, 0, 0);
    default: return QColor(255, 255, 255);
    }
}

// A lamp: the filled circle in its rectangle, with a thin darker rim so that a white lamp
// still reads as a lamp on the grey panel.
void paintLamp(QPainter& p, const QRect& r, int state)
{
    const QColor fill = lampColour(state);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(state == 0 ? QColor(150, 150, 150) : fill.darker(160), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5));
}

QPixmap speakerIcon()
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 60));
    QPainterPath body;
    body.moveTo(3, 7);
    body.lineTo(7, 7);
    body.lineTo(12, 3);
    body.lineTo(12, 17);
    body.lineTo(7, 13);
    body.lineTo(3, 13);
    body.closeSubpath();
    p.drawPath(body);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9, 6, 6, 8), -60 * 16, 120 * 16);
    p.drawArc(QRectF(8, 3, 10, 14), -60 * 16, 120 * 16);
    return pm;
}

} // namespace

// One status lamp, 18 × 18.
class LampImage final : public QWidget {
public:
    explicit LampImage(QWidget* parent) : QWidget(parent) { setFixedSize(18, 18); }
    void setState(int s)
    {
        if (s != state_) {
            state_ = s;
            update();
        }
    }
    int state() const { return state_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        paintLamp(p, QRect(1, 1, 16, 16), state_);
    }

private:
    int state_ = 0;
};

// The strip of row lamps left of the parameter table: lamp k (1..18) beside the k-th row shown.
class RowLampStrip final : public QWidget {
public:
    explicit RowLampStrip(QWidget* parent) : QWidget(parent) { states_.fill(0); }
    void setLamp(int k, int s)
    {
        if (k < 1 || k > kRowLamps || states_[std::size_t(k)] == s)
            return;
        states_[std::size_t(k)] = s;
        update(lampRect(k).adjusted(-1, -1, 1, 1));
    }
    int lamp(int k) const { return (k >= 1 && k <= kRowLamps) ? states_[std::size_t(k)] : 0; }
    static QRect lampRect(int k) { return QRect(5, 5 + kRowPitch * k, 10, 10); }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter p(this);
        for (int k = 1; k <= kRowLamps; ++k)
            if (e->rect().intersects(lampRect(k)))
                paintLamp(p, lampRect(k), states_[std::size_t(k)]);
    }

private:
    std::array<int, kRowLamps + 1> states_{};
};

// The alarm sound through the platform's player. The player has no stop of its own; a fresh
// player silences the old one's sound as it goes.
class OnlineView::ViewSound final : public AlarmSound {
public:
    ViewSound() : player_(std::make_unique<SoundPlayer>()) {}
    void playFile(const std::string& path) override { player_->play(path); }
    void beep() override { player_->beep(); }
    void stop() override { player_ = std::make_unique<SoundPlayer>(); }

private:
    std::unique_ptr<SoundPlayer> player_;
};

OnlineView::OnlineView(Workspace& ws, const OnlineLinks& links, QWidget* parent)
    : QDialog(parent), ws_(ws), sound_(std::make_unique<ViewSound>())
{
    setObjectName(QStringLiteral("OnlineView"));
    setWindowTitle(qs(kOnlineViewCaption));
    setModal(true);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    setFont(f);

    bar_ = new QMenuBar(this);
    bar_->setNativeMenuBar(false);
    buildMenu();
    const int barHeight = bar_->sizeHint().height();
    bar_->setGeometry(0, 0, kClientWidth, barHeight);
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setGeometry(0, barHeight, kClientWidth, kClientHeight);
    buildClient(client);
    setFixedSize(kClientWidth, barHeight + kClientHeight);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("pollTimer"));
    timer_->setInterval(OnlineSession::kTickMs);
    connect(timer_, &QTimer::timeout, this, &OnlineView::tickNow);

    OnlineDisplay& display = *this;
    session_ = std::make_unique<OnlineSession>(ws, links, display, sound_.get());
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 0x80)
        session_->setDecimalSeparator(char(point[0].unicode()));
}

OnlineView::~OnlineView() = default;

// ---- building ----------------------------------------------------------------------------

void OnlineView::buildMenu()
{
    QMenu* top = nullptr;
    QMenu* sub = nullptr;
    for (const OnlineMenuEntry& e : onlineMenuTable()) {
        const QString id = qs(e.id);
        if (e.command == OnlineCommand::None) {
            QMenu* m = e.level == 0 ? bar_->addMenu(qs(e.caption)) : top->addMenu(qs(e.caption));
            m->setObjectName(id);
            m->menuAction()->setObjectName(id + QStringLiteral("Action"));
            menus_.insert(id, m);
            if (e.level == 0)
                top = m;
            sub = m;
            continue;
        }
        QAction* a = nullptr;
        if (e.level == 0)
            a = bar_->addAction(qs(e.caption));
        else if (e.level == 1)
            a = top->addAction(qs(e.caption));
        else
            a = sub->addAction(qs(e.caption));
        a->setObjectName(id);
        actions_.insert(id, a);
        const OnlineCommand c = e.command;
        connect(a, &QAction::triggered, this, [this, c] { dispatch(c); });
        if (e.level == 1)
            sub = top;
    }
    connect(menus_.value(QStringLiteral("menuExtra")), &QMenu::aboutToShow, this, [this] {
        if (!session_->exchanging())
            session_->extraMenuOpened();
    });
}

void OnlineView::buildClient(QWidget* client)
{
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int tableWidth = 2 + kNameColumn + kValueColumn + scrollBar;
    const int tableHeight = 2 + kRowPitch * (kShownRows + 1);
    const int tableX = kClientWidth - 4 - tableWidth;
    const int stripX = tableX - kStripWidth;
    const int top = 2;

    // Groups.
    groups_ = new QTableWidget(kGroupListRows - 1, 1, client);
    groups_->setObjectName(QStringLiteral("groupList"));
    groups_->setHorizontalHeaderLabels({qs(kGroupListHeader)});
    groups_->verticalHeader()->hide();
    groups_->verticalHeader()->setDefaultSectionSize(kRowPitch);
    groups_->verticalHeader()->setMinimumSectionSize(kRowPitch);
    groups_->horizontalHeader()->setFixedHeight(kRowPitch + 1);
    groups_->horizontalHeader()->setStretchLastSection(true);
    groups_->horizontalHeader()->setSectionsClickable(false);
    groups_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    groups_->setSelectionBehavior(QAbstractItemView::SelectRows);
    groups_->setSelectionMode(QAbstractItemView::SingleSelection);
    groups_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    groups_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    groups_->setFocusPolicy(Qt::NoFocus);
    for (int r = 0; r < kGroupListRows - 1; ++r)
        groups_->setItem(r, 0, new QTableWidgetItem);
    groups_->setGeometry(4, top, stripX - 10, 2 + (kRowPitch + 1) + kRowPitch * (kGroupListRows - 1));
    connect(groups_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (!session_->exchanging())
            session_->selectGroupRow(row + 1);
    });

    // The picture under the groups.
    const int picTop = groups_->geometry().bottom() + 8;
    picture_ = new QLabel(client);
    picture_->setObjectName(QStringLiteral("picture"));
    picture_->setAlignment(Qt::AlignCenter);
    const int picHeight = top + tableHeight - picTop;
    picture_->setPixmap(makeLogo(std::min(picHeight, stripX - 14) - 8));
    picture_->setFrameShape(QFrame::StyledPanel);
    picture_->setFrameShadow(QFrame::Sunken);
    picture_->setGeometry(4, picTop, stripX - 10, picHeight);

    // Row lamps and the parameter table.
    strip_ = new RowLampStrip(client);
    strip_->setObjectName(QStringLiteral("rowLamps"));
    strip_->setGeometry(stripX, top + 1, kStripWidth, tableHeight - 2);

    table_ = new QTableWidget(kTableRows, 2, client);
    table_->setObjectName(QStringLiteral("paramTable"));
    table_->setHorizontalHeaderLabels({qs(kNameHeader), qs(kValueHeader)});
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setMinimumSectionSize(kRowPitch);
    table_->verticalHeader()->setDefaultSectionSize(kRowPitch);
    table_->horizontalHeader()->setFixedHeight(kRowPitch);
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table_->horizontalHeader()->resizeSection(0, kNameColumn);
    table_->horizontalHeader()->resizeSection(1, kValueColumn);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    table_->setWordWrap(false);
    for (int r = 0; r < kTableRows; ++r) {
        table_->setItem(r, 0, new QTableWidgetItem);
        auto* v = new QTableWidgetItem;
        v->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(r, 1, v);
    }
    table_->setGeometry(tableX, top, tableWidth, tableHeight);
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { session_->tableScrolled(); });

    // The lamp panel: the speaker button at its left edge, then the four lamps.
    const int panelTop = top + tableHeight + 2;
    auto* panel = new QFrame(client);
    panel->setObjectName(QStringLiteral("lampPanel"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    const int statusHeight = 18;
    const int panelHeight = kClientHeight - statusHeight - panelTop - 2;
    panel->setGeometry(4, panelTop, kClientWidth - 8, panelHeight);

    speaker_ = new QToolButton(panel);
    speaker_->setObjectName(QStringLiteral("speaker"));
    speaker_->setIcon(QIcon(speakerIcon()));
    speaker_->setIconSize(QSize(20, 20));
    speaker_->setAutoRaise(true);
    speaker_->setToolTip(qs(kSpeakerHint));
    speaker_->setGeometry(6, (panelHeight - 28) / 2, 28, 28);

    // Each lamp gets the width of its caption and an equal share of what is left.
    const QFontMetrics fm(font());
    std::array<int, kLampCount> widths{};
    int used = 0;
    for (int l = 0; l < kLampCount; ++l) {
        widths[std::size_t(l)] = fm.horizontalAdvance(qs(kLampCaptions[std::size_t(l)])) + 8;
        used += widths[std::size_t(l)];
    }
    const int lampsLeft = 40;
    const int spare = std::max(0, panel->width() - lampsLeft - 4 - used) / kLampCount;
    int x = lampsLeft;
    for (int l = 0; l < kLampCount; ++l) {
        const int blockWidth = widths[std::size_t(l)] + spare;
        auto* block = new QWidget(panel);
        block->setObjectName(QStringLiteral("lampBlock%1").arg(l));
        block->setGeometry(x, 2, blockWidth, panelHeight - 4);
        x += blockWidth;
        auto* caption = new QLabel(qs(kLampCaptions[std::size_t(l)]), block);
        caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        caption->setGeometry(0, 0, blockWidth, 15);
        auto* lamp = new LampImage(block);
        lamp->setObjectName(QStringLiteral("lamp%1").arg(l));
        lamp->move((blockWidth - 18) / 2, 15);
        lamp->installEventFilter(this);
        auto* text = new QLabel(block);
        text->setObjectName(QStringLiteral("lampText%1").arg(l));
        text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        text->setGeometry(0, 33, blockWidth, 15);
        lampBlocks_[std::size_t(l)] = block;
        lampImages_[std::size_t(l)] = lamp;
        lampCaptions_[std::size_t(l)] = caption;
        lampTexts_[std::size_t(l)] = text;
    }

    // The status bar: the running read, the sound state.
    panel0_ = new QLabel(client);
    panel0_->setObjectName(QStringLiteral("statusPanel0"));
    panel1_ = new QLabel(client);
    panel1_->setObjectName(QStringLiteral("statusPanel1"));
    const int statusTop = kClientHeight - statusHeight;
    panel0_->setGeometry(0, statusTop, 350, statusHeight);
    panel1_->setGeometry(350, statusTop, kClientWidth - 350, statusHeight);
    for (QLabel* p : {panel0_, panel1_}) {
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Sunken);
        p->setIndent(3);
    }
}

QWidget* OnlineView::lampWidget(Lamp lamp) const { return lampImages_[std::size_t(lamp)]; }
QLabel* OnlineView::lampTextLabel(Lamp lamp) const { return lampTexts_[std::size_t(lamp)]; }

// ---- running -----------------------------------------------------------------------------

int OnlineView::run(const OnlineSetup& setup)
{
    session_->setSetup(setup);
    return exec();
}

void OnlineView::setCommandHandler(OnlineCommand command, Handler handler)
{
    handlers_.insert(int(command), std::move(handler));
}

void OnlineView::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        closing_ = false;
        session_->activate();
    }
}

void OnlineView::done(int result)
{
    if (session_->exchanging()) {
        // A read is letting messages through: close once it has ended.
        QTimer::singleShot(50, this, [this, result] { done(result); });
        return;
    }
    if (!closing_) {
        closing_ = true;
        session_->close();
    }
    QDialog::done(result);
}

void OnlineView::tickNow()
{
    session_->tick();
}

bool OnlineView::anyGroupOut() const
{
    for (int i = 0; i < session_->groupCount(); ++i)
        if (session_->groupState(i) == 0)
            return true;
    return false;
}

bool OnlineView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == lampImages_[int(Lamp::Parameters)])
            dispatch(OnlineCommand::ToleranceViolations);
        else if (watched == lampImages_[int(Lamp::BlockFailures)])
            dispatch(OnlineCommand::FailureLampBlock);
        else if (watched == lampImages_[int(Lamp::SensorFailures)])
            dispatch(OnlineCommand::FailureLampSensor);
        else if (watched == lampImages_[int(Lamp::Signals)])
            dispatch(OnlineCommand::TeleindicationLamp);
        else
            return QDialog::eventFilter(watched, event);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void OnlineView::runChild(OnlineCommand command, int arg)
{
    const auto h = handlers_.value(int(command));
    if (!h)
        return;
    session_->childOpened(command);
    h(arg);
    session_->childClosed(command);
}

void OnlineView::dispatch(OnlineCommand command)
{
    // The engine is never entered twice: a command chosen while a read lets messages
    // through runs once that read has ended.
    if (session_->exchanging()) {
        QTimer::singleShot(100, this, [this, command] { dispatch(command); });
        return;
    }
    using C = OnlineCommand;
    if (needsOnlineFlag(command) && !ws_.online)
        return;
    switch (command) {
    case C::None:
        return;
    case C::SoundToggle:
        session_->toggleSound();
        return;
    case C::Exit:
        close();
        return;
    case C::Help: {
        const QString help = qs(ws_.filePath("Kvr5.HLP"));
        if (QFileInfo::exists(help))
            QDesktopServices::openUrl(QUrl::fromLocalFile(help));
        return;
    }
    case C::ChoosePrinter:
    case C::PrintDocument: {
        session_->childOpened(command);
        GroupPrintout p;
        if (session_->groupPrintout(p) && print_)
            print_(p, command == C::ChoosePrinter);
        session_->childClosed(command);
        return;
    }
    case C::FailurePage:
        runChild(command, session_->failurePageForMenu());
        return;
    case C::FailureLampBlock:
        runChild(command, session_->failurePageForLamp(Lamp::BlockFailures));
        return;
    case C::FailureLampSensor:
        runChild(command, session_->failurePageForLamp(Lamp::SensorFailures));
        return;
    case C::TeleindicationLamp:
        // Shown beside the view; polling goes on.
        if (const auto h = handlers_.value(int(command)))
            h(0);
        return;
    case C::ToleranceViolations:
        if (!anyGroupOut() || !handlers_.value(int(command)))
            return;
        runChild(command, 0);
        session_->pollDisplayedNow();
        return;
    default:
        runChild(command, 0);
        return;
    }
}

// ---- OnlineDisplay -----------------------------------------------------------------------

void OnlineView::showStatus(const std::string& text) { panel0_->setText(qs(text)); }

void OnlineView::showSoundState(const std::string& panel, const std::string& menuItem, bool speakerVisible)
{
    panel1_->setText(qs(panel));
    actions_.value(QStringLiteral("actSound"))->setText(qs(menuItem));
    speaker_->setVisible(speakerVisible);
}

void OnlineView::showTrace(const std::string& line) { panel1_->setText(qs(line)); }

void OnlineView::setLampVisible(Lamp lamp, bool visible)
{
    lampBlocks_[std::size_t(lamp)]->setVisible(visible);
}

void OnlineView::drawLamp(Lamp lamp, int state)
{
    lampImages_[std::size_t(lamp)]->setState(state);
    lampTexts_[std::size_t(lamp)]->setText(qs(lampText(lamp, state)));
}

void OnlineView::setGroupRow(int row, const std::string& text)
{
    if (row >= 1 && row < kGroupListRows)
        groups_->item(row - 1, 0)->setText(qs(text));
}

void OnlineView::selectGroupRow(int row)
{
    if (row >= 1 && row < kGroupListRows)
        groups_->selectRow(row - 1);
}

void OnlineView::setTableRows(int dataRows)
{
    const int rows = std::clamp(dataRows, 0, kTableRows);
    const int before = table_->rowCount();
    table_->setRowCount(rows);
    for (int r = before; r < rows; ++r) {
        table_->setItem(r, 0, new QTableWidgetItem);
        auto* v = new QTableWidgetItem;
        v->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(r, 1, v);
    }
}

void OnlineView::setHeaderName(const std::string& text)
{
    table_->horizontalHeaderItem(0)->setText(text.empty() ? qs(kNameHeader) : qs(text));
}

void OnlineView::setNameCell(int row, const std::string& text)
{
    if (row >= 1 && row <= table_->rowCount())
        table_->item(row - 1, 0)->setText(qs(text));
}

void OnlineView::setValueCell(int row, const std::string& text)
{
    if (row >= 1 && row <= table_->rowCount())
        table_->item(row - 1, 1)->setText(qs(text));
}

void OnlineView::setRowShaded(int row, bool outOfTolerance)
{
    if (row < 1 || row > table_->rowCount())
        return;
    for (int c = 0; c < 2; ++c) {
        if (outOfTolerance)
            table_->item(row - 1, c)->setBackground(kShade);
        else
            table_->item(row - 1, c)->setData(Qt::BackgroundRole, QVariant());
    }
}

void OnlineView::selectFirstCell()
{
    if (table_->rowCount() > 0)
        table_->setCurrentCell(0, 0);
}

int OnlineView::topRow() const
{
    const int r = table_->rowAt(0);
    return r < 0 ? 1 : r + 1;
}

void OnlineView::scrollTo(int topRow)
{
    table_->verticalScrollBar()->setValue(std::max(0, topRow - 1));
}

int OnlineView::visibleRows() const
{
    return std::max(0, table_->viewport()->height() / kRowPitch);
}

void OnlineView::drawRowLamp(int position, int state) { strip_->setLamp(position, state); }

void OnlineView::applyMenu(const OnlineMenuFacts& facts)
{
    for (const OnlineMenuEntry& e : onlineMenuTable()) {
        const bool v = shown(e.show, facts);
        if (e.command == OnlineCommand::None)
            menus_.value(qs(e.id))->menuAction()->setVisible(v);
        else
            actions_.value(qs(e.id))->setVisible(v);
    }
}

void OnlineView::setTimer(bool running, int intervalMs)
{
    timer_->setInterval(intervalMs);
    if (running)
        timer_->start();
    else
        timer_->stop();
}

void OnlineView::setBusy(bool busy) { ws_.op().setBusy(busy); }

void OnlineView::processEvents() { ws_.pump().processEvents(); }

} // namespace kv
