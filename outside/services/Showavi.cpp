#include "outside/services/Showavi.h"

#include <QApplication>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "outside/net/InputGate.h"

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

    void setReceivedRows(int rows)
    {
        m_rows = rows;
        update();
    }

    void offerCancel(std::function<void()> cancel)
    {
        if (!m_cancel) {
            m_cancel = new QPushButton(QStringLiteral("Cancelar"), this);
            m_cancel->setObjectName(QStringLiteral("btnCancelarCarga"));
            setFixedWidth(width() + 96);
            m_cancel->setGeometry(width() - 92, (height() - 28) / 2, 84, 28);
            m_cancel->show();
            move(pos() - QPoint(48, 0));
            setProperty(InputGate::PanelProperty, true);
        }
        disconnect(m_cancel, nullptr, nullptr, nullptr);
        connect(m_cancel, &QPushButton::clicked, this, std::move(cancel));
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
        const QRect text = rect().adjusted(60, 0, m_cancel ? -100 : -8, 0);
        painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Aguarde, processando..."));
        if (m_rows > 0)
            painter.drawText(text.adjusted(0, 0, 0, -6), Qt::AlignBottom | Qt::AlignLeft,
                             QStringLiteral("%1 linhas recebidas").arg(QLocale().toString(m_rows)));
    }

private:
    QTimer m_timer;
    int m_step = 0;
    int m_rows = 0;
    QPushButton *m_cancel = nullptr;
};

QPointer<BusyAnimation> &current()
{
    static QPointer<BusyAnimation> instance;
    return instance;
}

std::function<void()> &activationListener()
{
    static std::function<void()> listener;
    return listener;
}

} // namespace

void ActiveShowAvi(QWidget *mainForm, int kind)
{
    Q_UNUSED(kind);
    if (activationListener())
        activationListener()();
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

void ShowReceivedRows(int rows)
{
    if (current())
        current()->setReceivedRows(rows);
}

void OfferCancel(std::function<void()> cancel)
{
    if (current())
        current()->offerCancel(std::move(cancel));
}

bool IsActive()
{
    return !current().isNull();
}

void SetActivationListener(std::function<void()> listener)
{
    activationListener() = std::move(listener);
}

} // namespace Showavi
