#pragma once

#include <QObject>
#include <QString>

#include "platform/data/FasError.h"

// Finds a component of a loaded screen design by its name; a design that lacks
// it is a fault of the design, reported with the screen's and the component's name.
template<typename T>
T *DesignComponent(QObject *screen, const char *name)
{
    T *found = screen->findChild<T *>(QString::fromLatin1(name));
    if (!found) {
        throw FasError(QStringLiteral("O desenho da tela %1 não tem o componente %2.")
                           .arg(screen->objectName(), QString::fromLatin1(name)));
    }
    return found;
}
