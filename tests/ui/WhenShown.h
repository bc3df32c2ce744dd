#pragma once
// Window tests drive modal dialogs from inside their own event loops.
#include <QTimer>
#include <QWidget>

#include <functional>

namespace kv::test {

// Runs `steps` as soon as `dialog` is shown (by a modal loop that starts later).
inline void whenShown(QWidget* dialog, std::function<void()> steps, int tries = 300)
{
    QTimer::singleShot(10, dialog, [dialog, steps, tries] {
        if (dialog->isVisible())
            steps();
        else if (tries > 0)
            whenShown(dialog, steps, tries - 1);
    });
}

} // namespace kv::test
