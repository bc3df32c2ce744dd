#pragma once
#include <QString>
#include <string>

class QWidget;

namespace kv {

// The open-file dialog for an alarm sound: wave files first, all files second, starting at the
// current choice or, without one, at the work folder. Empty when the operator cancelled.
QString chooseSoundFile(QWidget* parent, const QString& current, const std::string& folder);

} // namespace kv
