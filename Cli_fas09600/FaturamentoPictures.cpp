#include "Cli_fas09600/FaturamentoPictures.h"

#include <QLabel>

#include "platform/data/FasError.h"

namespace {

constexpr const char *ResourceNames[FaturamentoPictures::Count] = {
    "imgAmarelo", "imgCinza", "imgVerde", "imgVermelho", "imgNoChecked", "imgUnchecked", "imgChecked",
};

} // namespace

FaturamentoPictures::FaturamentoPictures()
{
    for (int i = 0; i < Count; ++i) {
        const QString path = QStringLiteral(":/fas09600/pictures/%1.png").arg(QLatin1String(ResourceNames[i]));
        QImage image(path);
        if (image.isNull())
            throw FasError(QStringLiteral("Figura %1 não encontrada no módulo.").arg(path));
        // One pixel format for every picture: the painting blits them as they are.
        m_images[std::size_t(i)] = image.convertToFormat(QImage::Format_RGB32);
    }
}

QPixmap FaturamentoPictures::Transparent(Picture picture) const
{
    QImage image = Bitmap(picture).convertToFormat(QImage::Format_ARGB32);
    const QRgb olive = TransparentColor().rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == olive)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return QPixmap::fromImage(image);
}

const QImage *FaturamentoPictures::ForStatus(const QString &status) const
{
    if (status == QLatin1String("P"))
        return &Bitmap(Amarelo);
    if (status == QLatin1String("N"))
        return &Bitmap(Cinza);
    if (status == QLatin1String("R"))
        return &Bitmap(Verde);
    if (status == QLatin1String("C"))
        return &Bitmap(Vermelho);
    return nullptr;
}

const QImage *FaturamentoPictures::ForTick(const QString &tick) const
{
    if (tick.isEmpty() || tick == QLatin1String("D"))
        return &Bitmap(NoChecked);
    if (tick == QLatin1String("N"))
        return &Bitmap(Unchecked);
    if (tick == QLatin1String("S"))
        return &Bitmap(Checked);
    return nullptr;
}

void FaturamentoPictures::Show(QLabel *label, const QPixmap &pixmap)
{
    label->setPixmap(pixmap);
    label->resize(pixmap.size());
}
