#pragma once
#include <QDialog>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>
#include <memory>

#include "telecontrol/BitSignals.h"
#include "telecontrol/TelesignalWatch.h"

class QAction;
class QLabel;
class QScrollArea;
class QTimer;

namespace kv {

class Workspace;

// The drawing of the teleindication window (object name `Image1`): one cell of 157 × 26 pixels
// per description, 4 columns, filled column by column, each with its lamp, its name and the
// text of its current state.
class TeleindicationCells final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCellWidth = 157;
    static constexpr int kCellHeight = 26;
    static constexpr int kColumns = 4;

    explicit TeleindicationCells(const BitSignalTable& table, QWidget* parent = nullptr);

    // The states to show (null: no watch yet, every lamp white).
    void setWatch(const TelesignalWatch* watch) { watch_ = watch; }

    // Rows of the grid: ceil(count / 4).
    static int rowsFor(int count) { return (count + kColumns - 1) / kColumns; }
    // The drawing's size for `count` descriptions: 4 cells + 2 wide, rows × 26 + 2 high.
    static QSize drawingSize(int count);
    // Cell i of a grid with `rows` rows: column i div rows, row i mod rows; the grid starts
    // 1 pixel from the left and the top.
    static QRect cellRect(int i, int rows);
    // Lamp circle of a cell.
    static QRect lampRect(const QRect& cell) { return {cell.x() + 4, cell.y() + 9, 10, 10}; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const BitSignalTable& table_;
    const TelesignalWatch* watch_ = nullptr;
};

// The teleindication window ("Телеиндикация"): every bit-signal description as a cell with a
// lamp (green normal, red alarm, white before the first poll), its name and the text of its
// state, redrawn every second after a telesignal poll. Menu: `actExit` "Выход" and
// `actTelecontrol` "Телеуправление" (hides this window, runs the telecontrol window, shows this
// one again and asks the watch for a poll on its next tick).
//
// Entry points:
//  - From the online view, showing the states of the view's own watch:
//        tele.attachWatch(watch);
//        tele.fitToSignals();
//        tele.exec();          // menu item "Телеиндикация" (modal)
//        tele.show();          // double click on the telesignal lamp (not blocking)
//  - From the main window's "Телеиндикация" (no online view is running): after the port was
//    opened, the line connected, the telecontrol commands loaded and the version read,
//        tele.watchOwnLine(ws);   // its one-second timer polls the signals itself
//        tele.fitToSignals();
//        tele.show();
//    With no description the main window refuses first with kNoBitSignalsMessage.
//    The line then has two possible users: before online work starts on it, close this
//    window (or attach the view's watch), or the two pollers would meet inside each other's
//    waits. Its polls hold the hourglass through ws.op() and write their failures into the
//    window's status line (`StatusText`).
//  - Telecontrol, once its window exists:
//        tele.setTelecontrol([&] { telecontrolWindow.exec(); });
class TeleindicationWindow : public QDialog {
    Q_OBJECT
public:
    explicit TeleindicationWindow(const BitSignalTable& table, QWidget* parent = nullptr);
    ~TeleindicationWindow() override;

    // Shows the states of a watch driven by someone else (the online view's).
    void attachWatch(TelesignalWatch& watch);
    // Polls on its own over the workspace's open port, every "TimTc" seconds, with the
    // workspace's commands and the configured line (status texts in the window's status line).
    void watchOwnLine(Workspace& ws);
    // The watch whose states are shown (null before one is attached).
    const TelesignalWatch* watch() const { return watch_; }

    // What "Телеуправление" runs between hiding and showing this window again.
    void setTelecontrol(std::function<void()> run) { telecontrol_ = std::move(run); }

    // Sizes the window for the whole grid (the drawing, the menu and the frames) within the
    // screen, and centres it on the screen.
    void fitToSignals();

    // The one-second timer's step (public so the program's tests can step it in virtual time):
    // polls when the window watches its own line, and redraws once signals have been read.
    void tick();
    // "Телеуправление".
    void runTelecontrol();

    TeleindicationCells* cells() const { return cells_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    class OwnLine;
    void stop();

    const BitSignalTable& table_;
    TelesignalWatch* watch_ = nullptr;
    std::unique_ptr<OwnLine> ownLine_;
    std::function<void()> telecontrol_;
    TeleindicationCells* cells_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;
    bool suspended_ = false;
};

} // namespace kv
