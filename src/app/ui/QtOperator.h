#pragma once
#include <functional>

#include "app/Operator.h"

class QWidget;

namespace kv {

// The operator as the desktop program sees him: message boxes over the active window,
// the hourglass cursor and the main window's status text.
class QtOperator final : public Operator {
public:
    explicit QtOperator(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void setStatusSink(std::function<void(const std::string&)> sink) { status_ = std::move(sink); }

    bool askYesNo(const std::string& text) override;
    void message(MessageKind kind, const std::string& text) override;
    void setBusy(bool busy) override;
    void setStatus(const std::string& text) override;

private:
    QWidget* parent_;
    std::function<void(const std::string&)> status_;
    int busyDepth_ = 0;
};

} // namespace kv
