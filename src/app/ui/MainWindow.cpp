#include "app/ui/MainWindow.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "app/Workspace.h"
#include "app/ui/AboutBox.h"
#include "app/ui/Logo.h"
#include "channels/ui/LineSearchWindow.h"
#include "channels/ui/ModemWindow.h"
#include "channels/ui/SettingsWindow.h"
#include "lists/ui/GroupEditor.h"
#include "lists/ui/GroupListItems.h"
#include "lists/ui/ListWindow.h"
#include "lists/ui/ToleranceWindow.h"
#include "online/ui/PollFrequencyWindow.h"
#include "online/ui/ServiceWindow.h"
#include "app/OnlineWork.h"
#include "online/ui/OnlineView.h"
#include "platform/QtEventPump.h"
#include "protocol/LineControl.h"
#include "telecontrol/ui/BitSignalEditor.h"
#include "telecontrol/ui/TeleindicationWindow.h"

namespace kv {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
constexpr const char* kHelpProperty = "helpContext";
} // namespace

MainWindow::MainWindow(Workspace& ws, Operator& op, QWidget* parent)
    : QMainWindow(parent), ws_(ws), op_(op)
{
    setObjectName(QStringLiteral("MainWindow"));
    setProperty(kHelpProperty, kMainWindowHelp);
    setWindowTitle(QString::fromUtf8(kProgramCaption) + QStringLiteral("  v ") + QString::fromUtf8(kProgramVersion));
    setWindowIcon(QIcon(makeLogo(64)));
    buildMenu();
    buildPanels();

    ws_.debugLog().setMemoSink([this](const std::string& line, bool clearFirst) {
        if (clearFirst)
            memo_->clear();
        memo_->appendPlainText(qs(line));
    });

    clockTimer_ = new QTimer(this);
    clockTimer_->setInterval(1000);
    connect(clockTimer_, &QTimer::timeout, this, [this] {
        timePanel_->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    });
    timePanel_->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    clockTimer_->start();

    about_ = new AboutBox(this);
    modemWindow_ = new ModemWindow(ws_, ws_.modem(), this);
    ws_.setModemLink([this] { return modemWindow_->bringUp(); });
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::onFocusWindowChanged);
    // A compact hub: the menu, the configuration's name and the status bar; the trace memo
    // below opens only in the debug mode.
    resize(720, 210);
    move(0, 0);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenu()
{
    QMenu* top = nullptr;
    QMenu* sub = nullptr;
    for (const MenuEntry& e : mainMenuTable()) {
        QAction* act = nullptr;
        if (e.separator) {
            QMenu* into = e.level == 2 ? sub : top;
            act = into->addSeparator();
        } else if (e.command == MenuCommand::None) {
            QMenu* m = nullptr;
            if (e.level == 0) {
                m = menuBar()->addMenu(qs(e.caption));
                top = m;
            } else {
                m = top->addMenu(qs(e.caption));
                sub = m;
            }
            m->setObjectName(qs(e.id));
            act = m->menuAction();
        } else {
            QWidget* into = e.level == 0 ? static_cast<QWidget*>(menuBar()) : e.level == 1 ? top : sub;
            act = new QAction(qs(e.caption), into);
            into->addAction(act);
            const int command = static_cast<int>(e.command);
            connect(act, &QAction::triggered, this, [this, command] { runCommand(command); });
        }
        act->setObjectName(qs(e.id));
        act->setProperty(kHelpProperty, e.helpContext);
        actions_.insert(qs(e.id), act);
    }
    actions_.value(QStringLiteral("actExit"))->setShortcut(QKeySequence(QStringLiteral("Alt+X")));
    actions_.value(QStringLiteral("actWork"))->setShortcut(QKeySequence(Qt::Key_F5));
    actions_.value(QStringLiteral("actHelpContents"))->setShortcut(QKeySequence::HelpContents);
}

void MainWindow::buildPanels()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    auto* layout = new QVBoxLayout(panel);
    auto* head = new QHBoxLayout;
    picture2_ = new QLabel(panel);
    picture2_->setObjectName(QStringLiteral("Image2"));
    picture2_->setPixmap(makeLogo(48));
    configLabel_ = new QLabel(panel);
    configLabel_->setObjectName(QStringLiteral("Label1"));
    QFont f = configLabel_->font();
    f.setPointSize(f.pointSize() + 3);
    f.setBold(true);
    configLabel_->setFont(f);
    picture_ = new QLabel(panel);
    picture_->setObjectName(QStringLiteral("Image1"));
    picture_->setPixmap(makeLogo(96));
    picture_->setToolTip(QStringLiteral("Двойной щелчок: отладочная печать и однократные запросы"));
    picture_->installEventFilter(this);
    head->addWidget(picture2_, 0, Qt::AlignTop);
    head->addWidget(configLabel_, 1, Qt::AlignBottom);
    head->addWidget(picture_, 0, Qt::AlignTop | Qt::AlignRight);
    head->setContentsMargins(10, 10, 10, 10);
    layout->addLayout(head);

    memo_ = new QPlainTextEdit(panel);
    memo_->setObjectName(QStringLiteral("Memo1"));
    memo_->setReadOnly(true);
    memo_->setFont(QFont(QStringLiteral("Monospace"), 9));
    memo_->setMaximumBlockCount(0);
    memo_->hide();
    layout->addWidget(memo_, 1);
    setCentralWidget(panel);

    timePanel_ = new QLabel(this);
    timePanel_->setObjectName(QStringLiteral("StatusPanel0"));
    timePanel_->setFixedWidth(80);
    timePanel_->setAlignment(Qt::AlignCenter);
    hintPanel_ = new QLabel(this);
    hintPanel_->setObjectName(QStringLiteral("StatusPanel1"));
    hintPanel_->setMinimumWidth(350);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->addWidget(timePanel_);
    statusBar()->addWidget(hintPanel_, 1);
}

void MainWindow::showStatus(const QString& text)
{
    hintPanel_->setText(text);
}

void MainWindow::activateWorkspace()
{
    ws_.activate();
    // The first listed configuration names the controller we work with.
    const auto& secs = ws_.sections();
    configLabel_->setText(secs.entries.empty() ? QString() : qs(secs.entries.front().displayName));
    applyMenuState();
}

void MainWindow::applyMenuState()
{
    const MenuState& m = ws_.menu();
    auto show = [this](const char* id, bool on) {
        if (QAction* a = actions_.value(QString::fromLatin1(id)))
            a->setVisible(on);
    };
    show("actWork", m.workWithControllerVisible);
    show("actTeleindication", m.teleindicationVisible);
    show("actTelecontrol", m.telecontrolVisible);
    show("actDescrInterval", m.intervalsVisible);
    show("actSensorNames", m.sensorNamesVisible);
    show("sepHayes", m.modemItemsVisible);
    show("actEndHayes", m.modemItemsVisible);
    show("actUsbFlash", m.usbFlashVisible);
    actions_.value(QStringLiteral("actEndHayes"))->setEnabled(m.endHayesEnabled);
    actions_.value(QStringLiteral("actSpeedDetection"))->setEnabled(m.speedDetectionEnabled);
}

void MainWindow::toggleDebugMode()
{
    ws_.toggleDebugMode();
    if (ws_.debugMode()) {
        showStatus(QString::fromUtf8(kDebugModeStatus));
        memo_->clear();
        ws_.debugLog().memoCleared();
        memo_->show();
        resize(width(), std::max(height(), 520));
    } else {
        showStatus(QString());
        memo_->hide();
        resize(width(), 210);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == picture_ && event->type() == QEvent::MouseButtonDblClick) {
        toggleDebugMode();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::onFocusWindowChanged(QWindow* w)
{
    // The main window reloads everything when the operator turns to it from another window
    // of ours that stays open beside it; returning from a modal window (a message box, a
    // dialog it opened) goes on without reloading.
    QWindow* previous = lastFocus_;
    if (w)
        lastFocus_ = w;
    if (!w || w != windowHandle() || !previous || previous == w)
        return;
    if (previous->modality() != Qt::NonModal || QApplication::activeModalWidget())
        return;
    if (!QGuiApplication::topLevelWindows().contains(previous) || !previous->isVisible())
        return;
    activateWorkspace();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    ws_.shutdown();
    event->accept();
}

ListWindow* MainWindow::listWindow()
{
    // Built on first use: the group editor needs the catalog of the model in use, which the
    // activation has loaded by then, and keeps its reference to it for the whole run.
    if (!listWindow_) {
        listWindow_ = new ListWindow(op_, this);
        groupEditor_ = new GroupEditor(ws_.catalog(), op_, this);
        groupItems_ = std::make_unique<GroupListItems>(ws_.groups(), *groupEditor_);
        listWindow_->setItems(ListMode::Groups, groupItems_.get());
        bitEditor_ = new BitSignalEditor(op_, this);
        bitItems_ = std::make_unique<BitSignalListItems>(ws_.bitSignals(), *bitEditor_,
                                                         [this] { return ws_.modelIndex; });
        listWindow_->setItems(ListMode::BitSignals, bitItems_.get());
    }
    return listWindow_;
}

OnlineView* MainWindow::onlineView()
{
    if (!onlineView_) {
        OnlineLinks links;
        links.groups = &ws_.groups();
        links.signals = &ws_.bitSignals();
        links.modem = &ws_.modem().state();
        links.hangUp = [this] { ws_.hangUpModem(); };
        links.connect = [this] { return ws_.connect(); };
        links.exchangeBusy = [] { return QtEventPump::depth() > 0; };
        onlineView_ = new OnlineView(ws_, links, this);
        onlineView_->setCommandHandler(OnlineCommand::ResetFailures,
                                       [this](int) { serviceWindow()->runPage(kServiceResetFailures); });
        onlineView_->setCommandHandler(OnlineCommand::ChangeSpeed,
                                       [this](int) { serviceWindow()->runPage(kServiceChangeSpeed); });
        onlineView_->setCommandHandler(OnlineCommand::ControllerTime,
                                       [this](int) { serviceWindow()->runPage(kServiceReadClock); });
        onlineView_->setCommandHandler(OnlineCommand::SetTime,
                                       [this](int) { serviceWindow()->runPage(kServiceSetClock); });
        onlineView_->setCommandHandler(OnlineCommand::ToleranceViolations, [this](int) { showViolations(); });
        onlineView_->setCommandHandler(OnlineCommand::Teleindication,
                                       [this](int) { onlineTeleindication()->exec(); });
        onlineView_->setCommandHandler(OnlineCommand::TeleindicationLamp, [this](int) {
            TeleindicationWindow* tele = onlineTeleindication();
            tele->show();
            tele->raise();
        });
    }
    return onlineView_;
}

ToleranceWindow* MainWindow::toleranceWindow()
{
    if (!toleranceWindow_)
        toleranceWindow_ = new ToleranceWindow(op_, this);
    return toleranceWindow_;
}

void MainWindow::showViolations()
{
    ViolationView view(*toleranceWindow(), onlineView_);
    const bool changed = view.run(ws_.groups(), onlineView_->session().valueStyle(), ws_.settings().voice[0],
                                  ws_.folder());
    // Only a stored bound is worth the writes; the view's alarm uses the new sound file at once.
    if (changed) {
        ws_.saveToleranceFile();
        ws_.checkSoundFiles(1, 1);
        ws_.saveSettings();
    }
}

TeleindicationWindow* MainWindow::onlineTeleindication()
{
    // A window of its own: it shows the online view's watch and never polls the line itself,
    // so it cannot meet the view's reads.
    if (!onlineTele_) {
        onlineTele_ = new TeleindicationWindow(ws_.bitSignals(), onlineView_);
        onlineTele_->attachWatch(onlineView_->session().signals());
    }
    onlineTele_->fitToSignals();
    return onlineTele_;
}

void MainWindow::detectLineParameters()
{
    if (!ws_.online || (!ws_.port() && !ws_.openPort()))
        return;
    // One exchange per try: a silent combination costs one reply wait, not three.
    ExchangeState& st = ws_.exchange().state();
    st.attemptCount = 1;
    if (!lineSearch_)
        lineSearch_ = new LineSearchWindow(ws_, this);
    lineSearch_->run();
    if (ws_.port() && lineSearch_->search().numberToTry() != 0
        && frameEngineFor(ws_.settings().prot) == FrameEngine::Traditional)
        release(ws_.exchange(), *ws_.port(), ws_.settings().channelType);
    st.attemptCount = ws_.attemptSetting();
}

ServiceWindow* MainWindow::serviceWindow()
{
    if (!serviceWindow_)
        serviceWindow_ = new ServiceWindow(ws_, this);
    return serviceWindow_;
}

void MainWindow::workWithController()
{
    // The main window's teleindication polls the line on its own: it must not run beside
    // the reads of online work.
    if (teleWindow_)
        teleWindow_->close();
    OnlineWorkHooks hooks;
    hooks.runServiceRunPage = [this] { return serviceWindow()->runPage(kServiceRun); };
    hooks.showOnlineView = [this](int redialMinutes) {
        OnlineSetup setup;
        setup.groupsEnabled = !ws_.groups().empty();
        setup.redialMinutes = redialMinutes;
        onlineView()->run(setup);
        if (onlineTele_)
            onlineTele_->close();
    };
    hooks.showMainWindow = [this] {
        show();
        raise();
    };
    runOnlineWork(ws_, ws_.groups(), hooks);
    applyMenuState();
}

void MainWindow::runCommand(int command)
{
    switch (static_cast<MenuCommand>(command)) {
    case MenuCommand::Exit:
        close();
        break;
    case MenuCommand::SerialPortSettings: {
        if (!settingsWindow_)
            settingsWindow_ = new SettingsWindow(this);
        const bool saved = settingsWindow_->edit(ws_.settings());
        ws_.afterSettingsWindow(saved);
        applyMenuState();
        break;
    }
    case MenuCommand::ParamLists:
        ws_.loadGroupFiles();
        listWindow()->run(ListMode::Groups, QStringLiteral("Список параметров обмена "), 9);
        ws_.saveGroupFiles();
        break;
    case MenuCommand::ToleranceBounds:
        ws_.loadGroupFiles();
        if (!ws_.groups().empty())
            toleranceWindow()->edit(ws_.groups(), ws_.settings().voice[0], ws_.folder());
        ws_.saveToleranceFile();
        ws_.checkSoundFiles(1, 1);
        ws_.saveSettings();
        break;
    case MenuCommand::PollFrequency:
        if (!pollWindow_)
            pollWindow_ = new PollFrequencyWindow(op_, this);
        pollWindow_->edit(ws_.settings(), ws_.bitSignalCount() > 0, ws_.folder());
        ws_.checkSoundFiles(2, 3);
        ws_.saveSettings();
        break;
    case MenuCommand::BitSignals:
        listWindow()->run(ListMode::BitSignals, QString::fromUtf8(kBitSignalListCaption), 14);
        ws_.saveBitSignals();
        break;
    case MenuCommand::Teleindication:
        if (ws_.telesignalStart()) {
            if (!teleWindow_)
                teleWindow_ = new TeleindicationWindow(ws_.bitSignals(), this);
            teleWindow_->watchOwnLine(ws_);
            teleWindow_->fitToSignals();
            teleWindow_->show();
        }
        break;
    case MenuCommand::WorkWithController:
        workWithController();
        break;
    case MenuCommand::About:
        about_->exec();
        break;
    case MenuCommand::HelpContents: {
        const QString help = qs(ws_.filePath("Kvr5.HLP"));
        if (QFileInfo::exists(help))
            QDesktopServices::openUrl(QUrl::fromLocalFile(help));
        else
            op_.message(MessageKind::Information, "Файл помощи Kvr5.HLP не найден в рабочей папке.");
        break;
    }
    case MenuCommand::SpeedDetection:
        detectLineParameters();
        break;
    case MenuCommand::EndHayesExchange:
        ws_.hangUpModem();
        applyMenuState();
        break;
    default:
        // The windows behind the remaining commands come with their own parts of the program.
        break;
    }
}

} // namespace kv
