#include "app/ui/AboutBox.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/Logo.h"

namespace kv {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Информация"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("ProgramIcon"));
    logo->setPixmap(makeLogo(64));
    logo->setAlignment(Qt::AlignCenter);
    layout->addWidget(logo);

    auto addLine = [&](const char* name, const QString& text, int pointDelta, bool bold) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setAlignment(Qt::AlignCenter);
        QFont f = l->font();
        f.setPointSize(f.pointSize() + pointDelta);
        f.setBold(bold);
        l->setFont(f);
        layout->addWidget(l);
    };
    addLine("ProductName", QStringLiteral("Кварник"), 6, true);
    addLine("Comments", QStringLiteral("Программное обеспечение систем энергоучета"), 1, false);
    // The stored text breaks the line with CR LF; a label wants LF alone.
    addLine("Copyright", QStringLiteral("Просмотр параметров \r\nЗЕНТАР 10, ЗЕНТАР-17").remove(QChar('\r')), 0, false);
    addLine("Version", QStringLiteral("Версия 5.29"), 0, true);
    addLine("DateLabel", QStringLiteral("от 25.11.2014 г "), 0, false);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addSpacing(8);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint().expandedTo(QSize(360, 0)));
}

} // namespace kv
