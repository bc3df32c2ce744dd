#pragma once
#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QLabel;
class QPlainTextEdit;
class QTimer;
class QWindow;

namespace kv {

class Workspace;
class Operator;
class AboutBox;
class SettingsWindow;
class ModemWindow;
class LineSearchWindow;
class ListWindow;
class GroupEditor;
class GroupListItems;
class BitSignalEditor;
class BitSignalListItems;
class TeleindicationWindow;
class OnlineView;
class ToleranceWindow;
class PollFrequencyWindow;
class ServiceWindow;

// The program's hub: the menu, the trace memo and the status bar. It asks the workspace to
// load everything at each activation and shows the result; the decisions live in the core.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Workspace& ws, Operator& op, QWidget* parent = nullptr);
    ~MainWindow() override;

    QAction* action(const QString& id) const { return actions_.value(id); }
    // Runs the activation sequence and applies it to the menu (also used at start).
    void activateWorkspace();
    void toggleDebugMode();
    QPlainTextEdit* memo() const { return memo_; }
    // Status panel 1: hints and progress texts.
    void showStatus(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    ListWindow* listWindow();
    OnlineView* onlineView();
    void workWithController();
    ServiceWindow* serviceWindow();
    void detectLineParameters();
    ToleranceWindow* toleranceWindow();
    TeleindicationWindow* onlineTeleindication();
    void showViolations();
    void buildPanels();
    void applyMenuState();
    void runCommand(int command);
    void onFocusWindowChanged(QWindow* w);

    Workspace& ws_;
    Operator& op_;
    QHash<QString, QAction*> actions_;
    QLabel* picture_ = nullptr;
    QLabel* picture2_ = nullptr;
    QLabel* configLabel_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QLabel* timePanel_ = nullptr;
    QLabel* hintPanel_ = nullptr;
    QTimer* clockTimer_ = nullptr;
    AboutBox* about_ = nullptr;
    SettingsWindow* settingsWindow_ = nullptr;
    ModemWindow* modemWindow_ = nullptr;
    ListWindow* listWindow_ = nullptr;
    GroupEditor* groupEditor_ = nullptr;
    std::unique_ptr<GroupListItems> groupItems_;
    BitSignalEditor* bitEditor_ = nullptr;
    std::unique_ptr<BitSignalListItems> bitItems_;
    TeleindicationWindow* teleWindow_ = nullptr;
    TeleindicationWindow* onlineTele_ = nullptr;
    LineSearchWindow* lineSearch_ = nullptr;
    OnlineView* onlineView_ = nullptr;
    ToleranceWindow* toleranceWindow_ = nullptr;
    PollFrequencyWindow* pollWindow_ = nullptr;
    ServiceWindow* serviceWindow_ = nullptr;
    QPointer<QWindow> lastFocus_;
};

} // namespace kv
