#include "platform/ui/TDBControls.h"

namespace {

QString shownText(const TFieldDataLink *link)
{
    const TField *field = link->Field();
    return field ? field->DisplayText() : QString();
}

} // namespace

TDBEdit::TDBEdit(QWidget *parent)
    : QLineEdit(parent)
    , m_link(new TFieldDataLink(this))
{
    setReadOnly(true);
    connect(m_link, &TFieldDataLink::DataChange, this, [this] {
        setText(shownText(m_link));
        setCursorPosition(0);
    });
}

TDBMemo::TDBMemo(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_link(new TFieldDataLink(this))
{
    setReadOnly(true);
    connect(m_link, &TFieldDataLink::DataChange, this, [this] { setPlainText(shownText(m_link)); });
}

TDBComboBox::TDBComboBox(QWidget *parent)
    : QComboBox(parent)
    , m_link(new TFieldDataLink(this))
{
    connect(m_link, &TFieldDataLink::DataChange, this, &TDBComboBox::refresh);
}

void TDBComboBox::SetItemValues(const QStringList &values)
{
    m_values = values;
    refresh();
}

void TDBComboBox::refresh()
{
    const TField *field = m_link->Field();
    if (!field) {
        setCurrentIndex(-1);
        return;
    }
    const QString value = field->AsString();
    const int position = m_values.isEmpty() ? findText(value, Qt::MatchExactly) : int(m_values.indexOf(value));
    setCurrentIndex(position < count() ? position : -1);
}

TDBText::TDBText(QWidget *parent)
    : QLabel(parent)
    , m_link(new TFieldDataLink(this))
{
    connect(m_link, &TFieldDataLink::DataChange, this, [this] { setText(shownText(m_link)); });
}
