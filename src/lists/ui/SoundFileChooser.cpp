#include "lists/ui/SoundFileChooser.h"

#include <QFileDialog>
#include <QStringList>

#include "lists/ToleranceEditing.h"

namespace kv {

QString chooseSoundFile(QWidget* parent, const QString& current, const std::string& folder)
{
    // The filter is kept as "text|pattern|text|pattern"; Qt's dialog wants "text (pattern);;...",
    // and the texts already name their patterns.
    const QStringList parts = QString::fromUtf8(kSoundFileFilter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i];
    const QString start = current.isEmpty() ? QString::fromStdString(folder) : current;
    return QFileDialog::getOpenFileName(parent, QString(), start, filters.join(QStringLiteral(";;")));
}

} // namespace kv
