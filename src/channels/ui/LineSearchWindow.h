#pragma once
#include <QDialog>

#include "channels/LineSearch.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace kv {

class Workspace;

// "Подбор параметров обмена" (`TPn7`): the network number in hexadecimal or decimal form (empty:
// every number), the speed or "Подбор" for every speed, the progress of the search and the
// controller's model and version once it answered.
//
// Object names: RadioGroup1 with RadioHex / RadioDec, Edit1 (number), ComboBox1 (speed),
// LabelNumber, LabelSpeed, LabelOutcome, LabelModel, Button1 "Подбор", Button2 "Выход",
// StatusBar1.
//
// The main window opens the port, sets AttemptCount to 1, calls run() and afterwards sends the
// release command when search().numberToTry() is not 0 in the traditional protocol.
class LineSearchWindow : public QDialog {
    Q_OBJECT
public:
    explicit LineSearchWindow(Workspace& ws, QWidget* parent = nullptr);

    // Fills the speed list for the channel type and shows the window modally.
    void run();
    LineSearch& search() { return search_; }

public Q_SLOTS:
    void startSearch();   // "Подбор"
    void exitWindow();    // "Выход"
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void showTexts(const LineSearchTexts& t);
    bool hex() const;

    Workspace& ws_;
    LineSearch search_;
    QRadioButton* hex_;
    QRadioButton* dec_;
    QLineEdit* number_;
    QComboBox* speed_;
    QLabel* numberText_;
    QLabel* speedText_;
    QLabel* outcome_;
    QLabel* model_;
    QPushButton* searchButton_;
    QPushButton* exitButton_;
    QStatusBar* status_;
    bool closeAfterSearch_ = false;
};

} // namespace kv
