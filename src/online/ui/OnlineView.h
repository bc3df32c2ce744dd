#pragma once
#include <QDialog>
#include <QHash>

#include <functional>
#include <memory>

#include "online/OnlineSession.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QTableWidget;
class QTimer;
class QToolButton;

namespace kv {

class Workspace;
class SoundPlayer;
class RowLampStrip;
class LampImage;

// The online view, "Стандартный просмотр групповых параметров": the screen of online work.
// Left the parameter groups, right the displayed group's values with a lamp per row, below
// the four status lamps (parameters, block failures, sensor failures, telesignals) with the
// speaker button, and the status bar (the running read, the sound state). The one-second
// timer drives the session (OnlineSession), which decides everything; the window shows it.
//
// Created once with the program; each online work opens it modally with `run` (see
// OnlineSession.h for the whole sequence and what it needs from the workspace). The windows
// that open from its menu and lamps belong to other parts of the program and are plugged in
// with `setCommandHandler`; a command without a handler does nothing. The view applies the
// rules around them: the online-flag condition, the suspension of polls and of the redial
// while they are open, the immediate failure poll after a failure reset, the immediate poll
// of the displayed group after the tolerance-violation window.
class OnlineView final : public QDialog, private OnlineDisplay {
    Q_OBJECT
public:
    // The handler of a command: the argument is the failure page (0..2, -1 none) for
    // FailurePage, FailureLampBlock and FailureLampSensor, else 0.
    using Handler = std::function<void(int)>;
    // The print of the displayed group: its table, and whether the printer is to be chosen
    // first ("Выбор принтера").
    using PrintHandler = std::function<void(const GroupPrintout&, bool choosePrinter)>;

    OnlineView(Workspace& ws, const OnlineLinks& links, QWidget* parent = nullptr);
    ~OnlineView() override;

    // Opens the view modally for one online work; returns when the operator closes it.
    int run(const OnlineSetup& setup);

    void setCommandHandler(OnlineCommand command, Handler handler);
    void setPrintHandler(PrintHandler handler) { print_ = std::move(handler); }

    OnlineSession& session() { return *session_; }
    QAction* action(const QString& id) const { return actions_.value(id); }
    QMenu* menu(const QString& id) const { return menus_.value(id); }
    QMenuBar* menuBar() const { return bar_; }
    QTableWidget* groupList() const { return groups_; }
    QTableWidget* paramTable() const { return table_; }
    QWidget* lampWidget(Lamp lamp) const;
    QLabel* lampTextLabel(Lamp lamp) const;
    QToolButton* speakerButton() const { return speaker_; }
    QLabel* statusPanel(int i) const { return i == 0 ? panel0_ : panel1_; }
    QTimer* pollTimer() const { return timer_; }

    // A menu command or a lamp's double click, with the view's rules around it.
    void dispatch(OnlineCommand command);

public Q_SLOTS:
    // The timer's tick (tests call it after moving their clock on).
    void tickNow();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // OnlineDisplay
    void showStatus(const std::string& text) override;
    void showSoundState(const std::string& panel, const std::string& menuItem, bool speakerVisible) override;
    void showTrace(const std::string& line) override;
    void setLampVisible(Lamp lamp, bool visible) override;
    void drawLamp(Lamp lamp, int state) override;
    void setGroupRow(int row, const std::string& text) override;
    void selectGroupRow(int row) override;
    void setTableRows(int dataRows) override;
    void setHeaderName(const std::string& text) override;
    void setNameCell(int row, const std::string& text) override;
    void setValueCell(int row, const std::string& text) override;
    void setRowShaded(int row, bool outOfTolerance) override;
    void selectFirstCell() override;
    int topRow() const override;
    void scrollTo(int topRow) override;
    int visibleRows() const override;
    void drawRowLamp(int position, int state) override;
    void applyMenu(const OnlineMenuFacts& facts) override;
    void setTimer(bool running, int intervalMs) override;
    void setBusy(bool busy) override;
    void processEvents() override;

    void buildMenu();
    void buildClient(QWidget* client);
    void runChild(OnlineCommand command, int arg);
    bool anyGroupOut() const;

    class ViewSound;

    Workspace& ws_;
    std::unique_ptr<ViewSound> sound_;
    std::unique_ptr<OnlineSession> session_;
    QHash<QString, QAction*> actions_;
    QHash<QString, QMenu*> menus_;
    QHash<int, Handler> handlers_;
    PrintHandler print_;
    QMenuBar* bar_ = nullptr;
    QTableWidget* groups_ = nullptr;
    QTableWidget* table_ = nullptr;
    RowLampStrip* strip_ = nullptr;
    QLabel* picture_ = nullptr;
    std::array<QWidget*, kLampCount> lampBlocks_{};
    std::array<LampImage*, kLampCount> lampImages_{};
    std::array<QLabel*, kLampCount> lampCaptions_{};
    std::array<QLabel*, kLampCount> lampTexts_{};
    QToolButton* speaker_ = nullptr;
    QLabel* panel0_ = nullptr;
    QLabel* panel1_ = nullptr;
    QTimer* timer_ = nullptr;
    bool closing_ = false;
};

} // namespace kv
