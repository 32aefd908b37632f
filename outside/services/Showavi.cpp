#include "Showavi.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace Showavi {
namespace {

// A small spinning wheel with a caption, centred over the form it covers.
class BusyAnimation : public QWidget
{
public:
    explicit BusyAnimation(QWidget *over)
        : QWidget(over, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFixedSize(220, 64);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % 12;
            update();
        });
        m_timer.start(80);
        if (over) {
            const QPoint centre = over->mapToGlobal(over->rect().center());
            move(centre - QPoint(width() / 2, height() / 2));
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        const QPointF centre(32, height() / 2.0);
        for (int i = 0; i < 12; ++i) {
            QColor colour = palette().color(QPalette::Highlight);
            colour.setAlphaF(0.15 + 0.85 * (((i - m_step + 12) % 12) / 11.0));
            painter.save();
            painter.translate(centre);
            painter.rotate(i * 30.0);
            painter.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, 9), QPointF(0, 16));
            painter.restore();
        }
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(60, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         QStringLiteral("Aguarde, processando..."));
    }

private:
    QTimer m_timer;
    int m_step = 0;
};

QPointer<BusyAnimation> &current()
{
    static QPointer<BusyAnimation> instance;
    return instance;
}

int &activations()
{
    static int count = 0;
    return count;
}

} // namespace

void ActiveShowAvi(QWidget *mainForm, int kind)
{
    Q_UNUSED(kind);
    ++activations();
    if (current())
        return;
    current() = new BusyAnimation(mainForm);
    current()->show();
}

void DeactiveShowAvi()
{
    if (!current())
        return;
    current()->hide();
    current()->deleteLater();
    current() = nullptr;
}

bool IsActive()
{
    return !current().isNull();
}

int ActivationCount()
{
    return activations();
}

} // namespace Showavi
