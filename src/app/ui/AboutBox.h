#pragma once
#include <QDialog>

namespace kv {

// "Информация": product name, purpose, version and date.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

} // namespace kv
