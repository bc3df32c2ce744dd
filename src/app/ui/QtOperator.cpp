#include "app/ui/QtOperator.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

namespace kv {

namespace {
QString qs(const std::string& s)
{
    // Message texts may use a lone CR as line break, as the stored texts do.
    return QString::fromStdString(s).replace(QChar('\r'), QChar('\n')).replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
}
} // namespace

bool QtOperator::askYesNo(const std::string& text)
{
    QWidget* parent = QApplication::activeWindow() ? QApplication::activeWindow() : parent_;
    return QMessageBox::question(parent, QApplication::applicationDisplayName(), qs(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

void QtOperator::message(MessageKind kind, const std::string& text)
{
    QWidget* parent = QApplication::activeWindow() ? QApplication::activeWindow() : parent_;
    const QString title = QApplication::applicationDisplayName();
    switch (kind) {
    case MessageKind::Information: QMessageBox::information(parent, title, qs(text)); break;
    case MessageKind::Warning: QMessageBox::warning(parent, title, qs(text)); break;
    case MessageKind::Error: QMessageBox::critical(parent, title, qs(text)); break;
    }
}

void QtOperator::setBusy(bool busy)
{
    if (busy) {
        if (busyDepth_++ == 0)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0) {
        if (--busyDepth_ == 0)
            QGuiApplication::restoreOverrideCursor();
    }
}

void QtOperator::setStatus(const std::string& text)
{
    if (status_)
        status_(text);
}

} // namespace kv
