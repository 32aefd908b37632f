#pragma once

#include <functional>

#include <QObject>
#include <QPointer>

#include "Cli_fas09601/TFILTRO.h"
#include "pkg_fas09600_export.h"

// Between the filter dialog and the preview it feeds, one way: the dialog hands
// each filter it confirms to the loader that the preview's owner set here, and
// learns from it whether the load succeeded (the loader returns once the rows
// are in; a failed load throws, and the dialog stays open on the stored
// choices). The dialog never knows who loads, and nothing comes back through
// here: the preview loads its last filter again on its own.
class PKG_FAS09600_EXPORT PreviewLink : public QObject
{
    Q_OBJECT
public:
    using Loader = std::function<void(const TFILTRO &)>;

    // `load` serves while `owner` lives; a later owner replaces it.
    void SetLoader(QObject *owner, Loader load);
    // Loads the preview for `filtro`. With no preview to load it, nothing happens.
    void Load(const TFILTRO &filtro) const;

private:
    QPointer<QObject> m_owner;
    Loader m_load;
};
