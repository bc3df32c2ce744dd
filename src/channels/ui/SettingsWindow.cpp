#include "channels/ui/SettingsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QVBoxLayout>

namespace kv {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The stored captions break their lines with CR LF; a label wants LF alone.
QString caption(const char* utf8) { return QString::fromUtf8(utf8).remove(QChar('\r')); }

// The computer address: hexadecimal digits, letters shown in upper case.
class HexValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        for (QChar ch : input)
            if (!((ch >= QChar('0') && ch <= QChar('9')) || (ch >= QChar('A') && ch <= QChar('F'))))
                return Invalid;
        return Acceptable;
    }
};

QLineEdit* numberEdit(const char* name, QWidget* parent, int width, QValidator* validator)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setValidator(validator);
    e->setFixedWidth(width);
    return e;
}

QLabel* label(const QString& text, QWidget* parent) { return new QLabel(text, parent); }

} // namespace

// A group of radio buttons laid out in columns, filled column by column as the operator's
// old windows did. Only the operator's clicks (mouse, Space, arrow keys) reach onClick;
// setting the choice from the program does not. Tab reaches the group once, at its chosen
// button, and the arrow keys move the choice inside it.
class RadioGroup final : public QGroupBox {
public:
    RadioGroup(const char* name, const QString& title, int columns, QWidget* parent)
        : QGroupBox(title, parent), columns_(columns)
    {
        setObjectName(QString::fromLatin1(name));
        grid_ = new QGridLayout(this);
        grid_->setHorizontalSpacing(16);
        grid_->setVerticalSpacing(4);
    }

    std::function<void(int)> onClick;

    const QList<QRadioButton*>& buttons() const { return buttons_; }

    QStringList items() const
    {
        QStringList out;
        for (QRadioButton* b : buttons_)
            out << b->text();
        return out;
    }

    // Rebuilds the buttons when the items differ; returns whether it did.
    bool setItems(const QStringList& items)
    {
        if (items == this->items())
            return false;
        for (QRadioButton* b : buttons_)
            delete b;
        buttons_.clear();
        const int rows = items.isEmpty() ? 0 : int((items.size() + columns_ - 1) / columns_);
        for (int i = 0; i < items.size(); ++i) {
            auto* b = new QRadioButton(items[i], this);
            grid_->addWidget(b, i % rows, i / rows);
            b->show();   // at once, not when the event loop next runs: a click or Tab may come first
            connect(b, &QAbstractButton::clicked, this, [this, i] {
                if (onClick)
                    onClick(i);
            });
            connect(b, &QAbstractButton::toggled, this, [this] { updateTabStop(); });
            buttons_ << b;
        }
        updateTabStop();
        return true;
    }

    int itemIndex() const
    {
        for (int i = 0; i < buttons_.size(); ++i)
            if (buttons_[i]->isChecked())
                return i;
        return kNoChoice;
    }

    void setItemIndex(int index)
    {
        if (index == itemIndex())
            return;
        if (index >= 0 && index < buttons_.size()) {
            buttons_[index]->setChecked(true);
        } else if (QRadioButton* b = buttons_.value(itemIndex())) {
            // An exclusive group refuses to lose its last choice; "nothing chosen" is a state
            // the save check must be able to see.
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
        updateTabStop();
    }

    // White marks a group whose choice is missing.
    void setMissing(bool missing)
    {
        if (missing) {
            QPalette p = palette();
            p.setColor(QPalette::Window, Qt::white);
            setPalette(p);
            setAutoFillBackground(true);
        } else {
            setAutoFillBackground(false);
            setPalette(QPalette());
        }
    }

private:
    void updateTabStop()
    {
        const int chosen = itemIndex();
        for (int i = 0; i < buttons_.size(); ++i)
            buttons_[i]->setFocusPolicy(i == (chosen < 0 ? 0 : chosen) ? Qt::StrongFocus : Qt::ClickFocus);
    }

    QGridLayout* grid_;
    QList<QRadioButton*> buttons_;
    int columns_;
};

SettingsWindow::SettingsWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SettingsWindow"));
    setWindowTitle(QStringLiteral("Настройки последовательного порта и параметров обмена"));
    setModal(true);
    build();
    activate(settings_);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::build()
{
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    auto* hex = new HexValidator(this);

    // ---- Left column: port, link, speed, addressing ----
    portGroup_ = new RadioGroup("RadioGroup1", QStringLiteral("Последовательный порт"), 4, this);
    {
        QStringList ports;
        for (auto p : kPortNames)
            ports << qs(p);
        portGroup_->setItems(ports);
    }
    linkGroup_ = new RadioGroup("RadioGroup2", QStringLiteral("Вид связи"), 2, this);
    avtoBox_ = new QCheckBox(QStringLiteral("Автоопределение 2-х / 4-х проводной линии ИРПС / мультиплексор"), this);
    avtoBox_->setObjectName(QStringLiteral("CheckBox1"));
    speedGroup_ = new RadioGroup("RadioGroup3", QStringLiteral("Скорость обмена"), 2, this);

    auto* address = new QGridLayout;
    auto* setNumberLabel = label(caption("Сетевой номер контроллера\r\n(Dec)"), this);
    setNumberEdit_ = numberEdit("Edit1", this, 64, digits);
    setNumberEdit_->setToolTip(QStringLiteral("Номер коммутатора или сетевой номер ЗЕНТАР в десятичном виде"));
    setNumberLabel->setToolTip(setNumberEdit_->toolTip());
    setNumberLabel->setBuddy(setNumberEdit_);
    channelLabel_ = label(QStringLiteral("Тип канала подключения контроллера"), this);
    channelCombo_ = new QComboBox(this);
    channelCombo_->setObjectName(QStringLiteral("ComboBox1"));
    for (auto c : kChannelCaptions)
        channelCombo_->addItem(qs(c));
    channelLabel_->setBuddy(channelCombo_);
    multNumbLabel_ = label(QStringLiteral("Номер канала мультиплексора"), this);
    multNumbEdit_ = numberEdit("Edit2", this, 64, digits);
    multNumbLabel_->setBuddy(multNumbEdit_);
    address->addWidget(setNumberLabel, 0, 0);
    address->addWidget(setNumberEdit_, 0, 1, Qt::AlignLeft);
    address->addWidget(channelLabel_, 1, 0);
    address->addWidget(channelCombo_, 1, 1, Qt::AlignLeft);
    address->addWidget(multNumbLabel_, 2, 0);
    address->addWidget(multNumbEdit_, 2, 1, Qt::AlignLeft);
    address->setColumnStretch(2, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(portGroup_);
    left->addWidget(linkGroup_);
    left->addWidget(avtoBox_);
    left->addWidget(speedGroup_);
    left->addLayout(address);
    left->addStretch(1);

    // ---- Right column: variant, protocol, modem, CAN-BUS ----
    variantGroup_ = new RadioGroup("RadioGroup4", QStringLiteral("Тип комплектации ЗЕНТАР"), 1, this);
    {
        QStringList variants;
        for (auto v : kModelNames)
            variants << qs(v);
        variantGroup_->setItems(variants);
    }

    protocolPanel_ = new QWidget(this);
    protocolPanel_->setObjectName(QStringLiteral("Panel2"));
    {
        auto* l = new QVBoxLayout(protocolPanel_);
        l->setContentsMargins(0, 0, 0, 0);
        protGroup_ = new RadioGroup("RadioGroup5", QStringLiteral("Тип протокола обмена"), 3, protocolPanel_);
        QStringList prots;
        for (auto p : kProtocolCaptions)
            prots << qs(p);
        protGroup_->setItems(prots);
        crcGroup_ = new RadioGroup("RadioGroup6", QStringLiteral("Контрольная сумма"), 1, protocolPanel_);
        QStringList crcs;
        for (auto c : kCrcCaptions)
            crcs << qs(c);
        crcGroup_->setItems(crcs);
        l->addWidget(protGroup_);
        l->addWidget(crcGroup_);
    }

    modemPanel_ = new QWidget(this);
    modemPanel_->setObjectName(QStringLiteral("Panel1"));
    {
        auto* l = new QGridLayout(modemPanel_);
        l->setContentsMargins(0, 0, 0, 0);
        auto* phoneLabel = label(QStringLiteral("Номер телефона контроллера"), modemPanel_);
        phoneEdit_ = new QLineEdit(modemPanel_);
        phoneEdit_->setObjectName(QStringLiteral("Edit3"));
        phoneLabel->setBuddy(phoneEdit_);
        auto* inimodLabel = label(QStringLiteral("Строка инициализации модема"), modemPanel_);
        inimodEdit_ = new QLineEdit(modemPanel_);
        inimodEdit_->setObjectName(QStringLiteral("Edit4"));
        inimodLabel->setBuddy(inimodEdit_);
        answerGroup_ = new RadioGroup("RadioGroup7", QStringLiteral("Ответ Hayes-модема"), 1, modemPanel_);
        answerGroup_->setItems({QStringLiteral("Цифровой "), QStringLiteral("Символьный")});
        dialGroup_ = new RadioGroup("RadioGroup8", QStringLiteral("Набор номера"), 1, modemPanel_);
        dialGroup_->setItems({QStringLiteral("Импульсный"), QStringLiteral("Тональный")});
        redialBox_ = new QCheckBox(QStringLiteral("Повторный автоматический набор номера  при пропадании связи"), modemPanel_);
        redialBox_->setObjectName(QStringLiteral("CheckBox2"));
        minutesBefore_ = label(QStringLiteral("через "), modemPanel_);
        minutesBefore_->setObjectName(QStringLiteral("LabelMinutes1"));
        minutesEdit_ = numberEdit("Edit5", modemPanel_, 56, digits);
        minutesBefore_->setBuddy(minutesEdit_);
        minutesAfter_ = label(QStringLiteral("минут"), modemPanel_);
        minutesAfter_->setObjectName(QStringLiteral("LabelMinutes2"));
        auto* minutesRow = new QHBoxLayout;
        minutesRow->addSpacing(22);
        minutesRow->addWidget(minutesBefore_);
        minutesRow->addWidget(minutesEdit_);
        minutesRow->addWidget(minutesAfter_);
        minutesRow->addStretch(1);

        l->addWidget(phoneLabel, 0, 0, 1, 2);
        l->addWidget(phoneEdit_, 1, 0, 1, 2);
        l->addWidget(inimodLabel, 2, 0, 1, 2);
        l->addWidget(inimodEdit_, 3, 0, 1, 2);
        l->addWidget(answerGroup_, 4, 0);
        l->addWidget(dialGroup_, 4, 1);
        l->addWidget(redialBox_, 5, 0, 1, 2);
        l->addLayout(minutesRow, 6, 0, 1, 2);
    }

    canBusPanel_ = new QWidget(this);
    canBusPanel_->setObjectName(QStringLiteral("Panel3"));
    {
        auto* l = new QGridLayout(canBusPanel_);
        l->setContentsMargins(0, 0, 0, 0);
        auto* speedLabel = label(caption("Частота обмена по шине \r\nCAN-BUS (Kбод)"), canBusPanel_);
        canSpeedCombo_ = new QComboBox(canBusPanel_);
        canSpeedCombo_->setObjectName(QStringLiteral("ComboBox2"));
        for (auto c : kCanSpeedTexts)
            canSpeedCombo_->addItem(qs(c));
        speedLabel->setBuddy(canSpeedCombo_);
        auto* codeLabel = label(caption("Сетевой адрес компьютера\r\n(Hex)"), canBusPanel_);
        codePCEdit_ = numberEdit("Edit6", canBusPanel_, 48, hex);
        codeLabel->setBuddy(codePCEdit_);
        l->addWidget(speedLabel, 0, 0);
        l->addWidget(canSpeedCombo_, 0, 1, Qt::AlignLeft);
        l->addWidget(codeLabel, 1, 0);
        l->addWidget(codePCEdit_, 1, 1, Qt::AlignLeft);
        l->setColumnStretch(2, 1);
    }

    auto* right = new QVBoxLayout;
    right->addWidget(variantGroup_);
    right->addWidget(protocolPanel_);
    right->addWidget(modemPanel_);
    right->addWidget(canBusPanel_);
    right->addStretch(1);

    // ---- Bottom: trace option, buttons, status bar ----
    reportBox_ = new QCheckBox(QStringLiteral("Сохранить отчет по обмену с контр."), this);
    reportBox_->setObjectName(QStringLiteral("CheckBox3"));
    saveButton_ = new QPushButton(QStringLiteral("Сохранить"), this);
    saveButton_->setObjectName(QStringLiteral("Button1"));
    saveButton_->setDefault(true);
    exitButton_ = new QPushButton(QStringLiteral("Выход"), this);
    exitButton_->setObjectName(QStringLiteral("Button2"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(reportBox_);
    bottom->addStretch(1);
    bottom->addWidget(saveButton_);
    bottom->addWidget(exitButton_);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    auto* statusText = new QLabel(QStringLiteral("настройки обмена для контроллера"), status);
    statusText->setObjectName(QStringLiteral("StatusPanel0"));
    status->addWidget(statusText, 1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addSpacing(8);
    columns->addLayout(right);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(columns);
    outer->addSpacing(4);
    outer->addLayout(bottom);
    outer->addWidget(status);
    outer->setContentsMargins(10, 10, 10, 0);
    // The window follows its content as panels come and go.
    outer->setSizeConstraint(QLayout::SetFixedSize);

    linkGroup_->onClick = [this](int i) { react([this, i] { chooseLink(form_, i); }); };
    variantGroup_->onClick = [this](int i) { react([this, i] { chooseVariant(form_, i); }); };
    protGroup_->onClick = [this](int i) { react([this, i] { chooseProtocol(form_, i); }); };
    connect(avtoBox_, &QCheckBox::clicked, this, [this](bool on) { react([this, on] { chooseAvto(form_, on); }); });
    connect(redialBox_, &QCheckBox::clicked, this, [this](bool on) { react([this, on] { chooseRedial(form_, on); }); });
    connect(saveButton_, &QPushButton::clicked, this, &SettingsWindow::save);
    connect(exitButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsWindow::applyTabOrder()
{
    // Rebuilt radio buttons join the end of the focus chain; put every control back in the
    // order the operator reads the window.
    QList<QWidget*> chain;
    auto addGroup = [&chain](RadioGroup* g) {
        for (QRadioButton* b : g->buttons())
            chain << b;
    };
    addGroup(portGroup_);
    addGroup(linkGroup_);
    chain << avtoBox_;
    addGroup(speedGroup_);
    chain << setNumberEdit_ << channelCombo_ << multNumbEdit_;
    addGroup(variantGroup_);
    addGroup(protGroup_);
    addGroup(crcGroup_);
    chain << phoneEdit_ << inimodEdit_;
    addGroup(answerGroup_);
    addGroup(dialGroup_);
    chain << redialBox_ << minutesEdit_ << canSpeedCombo_ << codePCEdit_ << reportBox_ << saveButton_
          << exitButton_;
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

void SettingsWindow::activate(const ChannelSettings& s)
{
    settings_ = s;
    saved_ = false;
    form_ = loadSettingsForm(s);
    clearMarks();
    render();
}

bool SettingsWindow::edit(ChannelSettings& s)
{
    activate(s);
    exec();
    if (saved_)
        storeSettingsForm(form_, s);
    return saved_;
}

void SettingsWindow::collect()
{
    form_.port = portGroup_->itemIndex();
    form_.speed = speedGroup_->itemIndex();
    form_.channel = channelCombo_->currentIndex();
    form_.crc = crcGroup_->itemIndex();
    form_.answer = answerGroup_->itemIndex();
    form_.dial = dialGroup_->itemIndex();
    form_.canSpeed = canSpeedCombo_->currentIndex();
    form_.report = reportBox_->isChecked();
    form_.setNumber = setNumberEdit_->text().toStdString();
    form_.multNumb = multNumbEdit_->text().toStdString();
    form_.phone = phoneEdit_->text().toStdString();
    form_.inimod = inimodEdit_->text().toStdString();
    form_.minutes = minutesEdit_->text().toStdString();
    form_.codePC = codePCEdit_->text().toStdString();
}

void SettingsWindow::render()
{
    auto setText = [](QLineEdit* e, const std::string& text) {
        const QString t = QString::fromStdString(text);
        if (e->text() != t)
            e->setText(t);
    };

    bool rebuilt = false;
    QStringList links;
    for (const LinkItem& item : form_.links)
        links << qs(item.text);
    rebuilt |= linkGroup_->setItems(links);
    QStringList speeds;
    for (int index : form_.speedList.speeds)
        speeds << QString::fromStdString(speedText(index));
    rebuilt |= speedGroup_->setItems(speeds);
    speedGroup_->setTitle(qs(form_.speedList.caption));

    portGroup_->setItemIndex(form_.port);
    linkGroup_->setItemIndex(form_.link);
    speedGroup_->setItemIndex(form_.speed);
    variantGroup_->setItemIndex(form_.variant);
    protGroup_->setItemIndex(form_.prot);
    crcGroup_->setItemIndex(form_.crc);
    answerGroup_->setItemIndex(form_.answer);
    dialGroup_->setItemIndex(form_.dial);

    avtoBox_->setChecked(form_.avto);
    avtoBox_->setVisible(form_.channelAndAvto);
    setText(setNumberEdit_, form_.setNumber);
    if (setNumberEdit_->isReadOnly() != form_.setNumberReadOnly) {
        setNumberEdit_->setReadOnly(form_.setNumberReadOnly);
        // A fixed number looks fixed: the field takes the window's colour.
        QPalette p;
        if (form_.setNumberReadOnly)
            p.setColor(QPalette::Base, p.color(QPalette::Window));
        setNumberEdit_->setPalette(p);
    }
    channelCombo_->setCurrentIndex(form_.channel);
    channelLabel_->setVisible(form_.channelAndAvto);
    channelCombo_->setVisible(form_.channelAndAvto);
    setText(multNumbEdit_, form_.multNumb);
    multNumbLabel_->setVisible(form_.multiplexer);
    multNumbEdit_->setVisible(form_.multiplexer);

    protocolPanel_->setVisible(form_.protocolPanel);
    crcGroup_->setVisible(form_.crcGroup);

    modemPanel_->setVisible(form_.modemPanel);
    setText(phoneEdit_, form_.phone);
    setText(inimodEdit_, form_.inimod);
    answerGroup_->setVisible(form_.hayesGroups);
    dialGroup_->setVisible(form_.hayesGroups);
    redialBox_->setChecked(form_.redial);
    setText(minutesEdit_, form_.minutes);
    minutesBefore_->setVisible(form_.minutesShown);
    minutesEdit_->setVisible(form_.minutesShown);
    minutesAfter_->setVisible(form_.minutesShown);

    canBusPanel_->setVisible(form_.canBusPanel);
    canSpeedCombo_->setCurrentIndex(form_.canSpeed);
    setText(codePCEdit_, form_.codePC);
    reportBox_->setChecked(form_.report);

    if (rebuilt)
        applyTabOrder();
}

void SettingsWindow::react(const std::function<void()>& reaction)
{
    collect();
    reaction();
    render();
}

void SettingsWindow::clearMarks()
{
    for (RadioGroup* g : {portGroup_, linkGroup_, speedGroup_, variantGroup_, protGroup_, crcGroup_, answerGroup_,
                          dialGroup_})
        g->setMissing(false);
}

QWidget* SettingsWindow::fieldWidget(FormField f) const
{
    switch (f) {
    case FormField::Port: return portGroup_;
    case FormField::Speed: return speedGroup_;
    case FormField::Link: return linkGroup_;
    case FormField::Channel: return channelCombo_;
    case FormField::SetNumber: return setNumberEdit_;
    case FormField::MultNumb: return multNumbEdit_;
    case FormField::CodePC: return codePCEdit_;
    case FormField::Phone: return phoneEdit_;
    case FormField::Inimod: return inimodEdit_;
    case FormField::Answer: return answerGroup_;
    case FormField::Dial: return dialGroup_;
    case FormField::Minutes: return minutesEdit_;
    case FormField::None: break;
    }
    return nullptr;
}

void SettingsWindow::save()
{
    collect();
    clearMarks();
    const FormField problem = checkSettingsForm(form_);
    if (problem != FormField::None) {
        QWidget* w = fieldWidget(problem);
        if (isChoiceGroup(problem)) {
            static_cast<RadioGroup*>(w)->setMissing(true);
        } else {
            w->setFocus(Qt::OtherFocusReason);
            if (auto* e = qobject_cast<QLineEdit*>(w))
                e->selectAll();
        }
        return;
    }
    storeSettingsForm(form_, settings_);
    saved_ = true;
    accept();
}

} // namespace kv
