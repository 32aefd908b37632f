#include "host/GuideWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include "platform/data/FasError.h"

namespace {

const QSize designedSize(820, 680);
// The widest a picture is shown: the window's text width at its designed size.
constexpr int widestPicture = 760;

} // namespace

GuideWindow::GuideWindow(QWidget *parent)
    : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("frmGuia"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Guia do usuário — Prévia para Faturamento"));
    setOpenExternalLinks(true);
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    resize(screen ? designedSize.boundedTo(screen->availableGeometry().size()) : designedSize);
}

void GuideWindow::open(const QString &file)
{
    if (!QFileInfo(file).isFile()) {
        throw FasError(QStringLiteral("O guia do usuário não foi encontrado em \"%1\". Reinstale o programa "
                                      "(o guia vem com ele) ou peça o arquivo ao suporte.")
                           .arg(QDir::toNativeSeparators(file)));
    }
    setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()), QTextDocument::MarkdownResource);
    fitPictures();
    show();
    raise();
    activateWindow();
}

void GuideWindow::fitPictures()
{
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat picture = fragment.charFormat().toImageFormat();
            if (!picture.isValid())
                continue;
            const QImage image =
                document()->resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>();
            if (image.width() <= widestPicture)
                continue;
            picture.setWidth(widestPicture);
            picture.setHeight(image.height() * widestPicture / image.width());
            QTextCursor cursor(document());
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(picture);
        }
    }
}

QString GuideWindow::defaultPath(const QString &applicationDir)
{
    const QString installed = QStringLiteral("share/fas09600/guide/guia-do-usuario.md");
    const QStringList candidates = {
        QStringLiteral("../") + installed,                               // the program in bin/
        QStringLiteral("../../../") + installed,                         // in the private lib/<arch>/fas09600/
        QStringLiteral("../../") + installed,                            // in the private lib/fas09600/
        QStringLiteral("../share/doc/fas09600/docs/guia-do-usuario.md"), // the build tree's copy
    };
    for (const QString &candidate : candidates) {
        const QString path = QDir(applicationDir).absoluteFilePath(candidate);
        if (QFileInfo(path).isFile())
            return QDir::cleanPath(path);
    }
    return QDir::cleanPath(QDir(applicationDir).absoluteFilePath(candidates.first()));
}
