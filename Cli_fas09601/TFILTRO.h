#pragma once

#include <QDateTime>
#include <QString>

#include "pkg_fas09600_export.h"

// The client choice and the company choice of the stored filter: stTodos is
// "T" when all were chosen, stLista the picked list when "Lista" was chosen;
// after a confirm exactly one of them is non-empty.
struct PKG_FAS09600_EXPORT TCLIENTE
{
    QString stTodos;
    QString stLista;
};

struct PKG_FAS09600_EXPORT TEMPRESA
{
    QString stTodos;
    QString stLista;
};

// The filter dialog's choices as a plain value: the last confirmed ones (or the
// dialog's defaults) are what the preview screen loads. The flags are the ticks
// of the dialog's boxes; the two dates carry no time of day.
struct PKG_FAS09600_EXPORT TFILTRO
{
    TCLIENTE Cliente;
    TEMPRESA Empresa;
    bool boLicencaUso = false;
    bool boManutencao = false;
    bool boCustomizacao = false;
    bool boMaoObra = false;
    bool boServDesk = false;
    QDateTime dtIniApu; // midnight, wall clock
    QDateTime dtFinApu;
    bool boTSituacao = false;
    bool boPSituacao = false;
    bool boRSituacao = false;
    bool boEmitidas = false;
    bool boNEmitidas = false;
    bool boCSituacao = false;
    bool boNSituacao = false;
};
