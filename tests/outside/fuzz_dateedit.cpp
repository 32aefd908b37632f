// libFuzzer target for the date edit's parsing (TDateEditPlus on the offscreen
// platform). The input's first byte chooses how the text arrives: set whole (as
// saved filter options are loaded), typed key by key, or pasted over a date
// already shown. Whatever arrives, the edit keeps its "dd/mm/aaaa" shape, a date
// it reads shows again as the same text and reads back to itself at midnight, the
// weekday tip is there exactly for a valid date, and Text() is empty exactly when
// no digit was kept.

#include <cstdint>
#include <cstdlib>

#include <QApplication>
#include <QKeyEvent>

#include "outside/controls/TDateEditPlus.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void typeText(TDateEditPlus &edit, const QString &text)
{
    edit.clear();
    edit.home(false);
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&edit, &press);
    }
}

void checkEdit(const TDateEditPlus &edit)
{
    const QString shown = edit.displayText();
    check(shown.size() == 10 && shown[2] == u'/' && shown[5] == u'/');
    bool anyDigit = false;
    for (QChar c : edit.text())
        anyDigit = anyDigit || c.isDigit();
    check(edit.Text().isEmpty() == !anyDigit);
    const QDate date = edit.Date();
    check(edit.toolTip().isEmpty() == !date.isValid());
    if (!date.isValid()) {
        check(!edit.GetDate().isValid());
        return;
    }
    check(edit.GetDate() == QDateTime(date, QTime(0, 0), Qt::UTC));
    check(TDateEditPlus::WeekdayName(date) == edit.toolTip());
}

void checkRoundTrip(TDateEditPlus &edit)
{
    const QDate date = edit.Date();
    if (!date.isValid())
        return;
    const QString shown = edit.text();
    edit.SetDate(date);
    check(edit.text() == shown && edit.Date() == date);
}

} // namespace

// The application and the edit live until the process ends: destroyed among the
// exit handlers, Qt's objects would outlive the platform they belong to.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static const QApplication *application = new QApplication(*argc, *argv);
    Q_UNUSED(application);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0 || size > 64)
        return 0;
    static TDateEditPlus &edit = *new TDateEditPlus;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0:
        edit.setText(text);
        break;
    case 1:
        typeText(edit, text);
        break;
    default:
        edit.SetDate(QDate(2024, 2, 29));
        edit.selectAll();
        edit.insert(text);
        break;
    }
    checkEdit(edit);
    checkRoundTrip(edit);
    checkEdit(edit);
    return 0;
}
