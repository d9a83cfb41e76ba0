#include "dialogs/dialogwidgets.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>

using namespace Qt::StringLiterals;

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text, parent);
    if (!name.isEmpty())
        label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

QLineEdit* makeBox(QWidget* parent, const QString& name, const QString& toolTip)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setToolTip(toolTip);
    return box;
}

namespace {

// A line box whose preferred width fits a typical value rather than QLineEdit's seventeen "x".
class ValueBox final : public QLineEdit {
public:
    ValueBox(QWidget* parent, const QString& typical)
        : QLineEdit(parent)
        , m_typical(typical)
    {
    }

    QSize sizeHint() const override
    {
        const QSize plain = QLineEdit::sizeHint();
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QMargins margins = textMargins();
        // The text, the cursor after it (one "x" wide, which also covers rounding), QLineEdit's
        // own inner margin of two pixels a side, and the text margins; the style adds its frame.
        const int inner = fontMetrics().horizontalAdvance(m_typical) + fontMetrics().horizontalAdvance(u'x') + 4
            + margins.left() + margins.right();
        const QSize styled
            = style()->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(inner, fontMetrics().height()), this);
        return { qMax(plain.width(), styled.width()), plain.height() };
    }

private:
    QString m_typical;
};

} // namespace

QLineEdit* makeValueBox(QWidget* parent, const QString& name, const QString& typical, const QString& explanation)
{
    auto* box = new ValueBox(parent, typical);
    box->setObjectName(name);
    box->setToolTip(explanation);
    QObject::connect(box, &QLineEdit::textChanged, box,
        [box, explanation](const QString& value) { box->setToolTip(valueTip(explanation, value)); });
    return box;
}

QString valueTip(const QString& explanation, const QString& value)
{
    if (value.isEmpty())
        return explanation;
    if (!explanation.isEmpty())
        return explanation + u'\n' + value;
    // A tip is shown as markup when its first line looks like markup; a value such as a folder
    // named "<b>x" is shown as it is written.
    if (Qt::mightBeRichText(value))
        return u"<p style=\"white-space:pre\">"_s + value.toHtmlEscaped() + u"</p>"_s;
    return value;
}

QCheckBox* makeCheck(QWidget* parent, const QString& name, const QString& text, const QString& toolTip)
{
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(name);
    check->setToolTip(toolTip);
    return check;
}

QRadioButton* makeOption(QWidget* parent, const QString& name, const QString& text, const QString& toolTip)
{
    auto* option = new QRadioButton(text, parent);
    option->setObjectName(name);
    option->setToolTip(toolTip);
    return option;
}

QGroupBox* makeGroup(QWidget* parent, const QString& name, const QString& title)
{
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(name);
    return group;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QPushButton* makeSideButton(QWidget* parent, const QString& name, const QString& text, const QString& toolTip)
{
    auto* button = makeButton(parent, name, text);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    return button;
}

ButtonRow makeButtonRow(
    QDialog* dialog, const QString& okText, CancelOnEnter cancelOnEnter, const QList<QWidget*>& leading)
{
    ButtonRow row;
    row.ok = makeButton(dialog, u"OKButton"_s, okText);
    row.ok->setDefault(true);
    row.cancel = makeButton(dialog, u"CancelButton"_s, u"ｷｬﾝｾﾙ"_s);
    if (cancelOnEnter == CancelOnEnter::Never)
        row.cancel->setAutoDefault(false);
    // reject() is virtual: a dialog's own reject runs.
    QObject::connect(row.cancel, &QPushButton::clicked, dialog, &QDialog::reject);

    row.layout = new QHBoxLayout;
    for (QWidget* widget : leading)
        row.layout->addWidget(widget);
    row.layout->addStretch(1);
    row.layout->addWidget(row.ok);
    row.layout->addWidget(row.cancel);
    return row;
}

namespace {

// What the window manager adds around a dialog: a frame and a title bar, a little more at high scale.
constexpr QSize FrameRoom(16, 48);

} // namespace

void resizeToContents(QDialog* dialog, const QSize& least)
{
    const QSize wanted = dialog->sizeHint().expandedTo(least);
    const QScreen* screen = dialog->screen();
    if (!screen || !dialog->layout()) {
        dialog->resize(wanted);
        return;
    }
    const QSize room = screen->availableGeometry().size() - FrameRoom;
    if (wanted.width() <= room.width() && wanted.height() <= room.height()) {
        dialog->resize(wanted);
        return;
    }
    // The layout takes its widgets along into the scrolled page; names, focus and tab order stay.
    auto* page = new QWidget;
    page->setLayout(dialog->layout());
    auto* area = new QScrollArea(dialog);
    area->setObjectName(u"ScrollArea"_s);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    // No tab stop of its own: Tab goes from control to control, and the area scrolls to each.
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidget(page);
    auto* outer = new QVBoxLayout(dialog);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(area);
    const int bar = dialog->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    dialog->resize((wanted + QSize(bar, bar)).boundedTo(room));
}

void chainTabOrder(const QList<QWidget*>& order)
{
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QString checkText(const QCheckBox* check)
{
    return check->isChecked() ? u"1"_s : u"0"_s;
}
