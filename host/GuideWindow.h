#pragma once

#include <QString>
#include <QTextBrowser>

// The clerk's guide (docs/guia-do-usuario.md with its pictures) in a window of
// its own beside the screens: Markdown rendered by Qt, links inside the guide
// followed, the pictures read from the guide's folder and shown no wider than
// the window's text.
class GuideWindow : public QTextBrowser
{
    Q_OBJECT
public:
    explicit GuideWindow(QWidget *parent = nullptr);

    // Reads the guide from `file` and shows the window at its top. Throws
    // FasError naming the file when the guide is not there.
    void open(const QString &file);

    // Where the host finds the guide it ships: share/fas09600/guide of the
    // installed tree seen from the program's folder, whether the program lies in
    // bin/ or in the private lib/<arch>/fas09600/ (or lib/fas09600/), as it finds
    // the module; then the build tree's copy of docs/ (share/doc/fas09600/docs
    // beside bin/). The first of those that exists, else the first.
    static QString defaultPath(const QString &applicationDir);

private:
    void fitPictures();
};
