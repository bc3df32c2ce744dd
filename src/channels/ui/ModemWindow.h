#pragma once
#include <QDialog>
#include <QTimer>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace kv {

class ModemSession;
class Workspace;

// "Инициализация модема": the modem's init string, the phone number, the answer form and the
// dial mode for this dial (nothing goes back to the settings), "Набор" and "Отказ", and the
// modem's answers after the initialisation and after the dial. A one-second timer closes the
// window once the call is up.
//
// The connect step's modem link is `bringUp()`:
//     ws.setModemLink([&] { return modemWindow.bringUp(); });
// It dials at once when the online view's automatic redial has set the redial flag.
class ModemWindow : public QDialog {
    Q_OBJECT
public:
    ModemWindow(Workspace& ws, ModemSession& session, QWidget* parent = nullptr);

    // Shows the window modally; true when it closed with the call up.
    bool bringUp();
    // What the window does as it opens: cancel flag cleared, link marked down, fields loaded
    // from the settings, result fields cleared, "Набор" enabled.
    void prepare();

public Q_SLOTS:
    void dial();         // "Набор"
    void cancelDial();   // "Отказ"
    void tick();         // the one-second timer
    void reject() override;   // Esc and the window's close box act as "Отказ"

private:
    Workspace& ws_;
    ModemSession& session_;
    QLineEdit* init_;
    QLineEdit* phone_;
    QRadioButton* digits_;
    QRadioButton* words_;
    QRadioButton* pulse_;
    QRadioButton* tone_;
    QPlainTextEdit* afterInit_;
    QPlainTextEdit* afterDial_;
    QPushButton* dialButton_;
    QPushButton* cancelButton_;
    QTimer* timer_;
    bool dialling_ = false;
};

} // namespace kv
