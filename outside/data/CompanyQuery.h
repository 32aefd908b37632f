#pragma once

#include "kor_export.h"

class QObject;
class TADOIBQuery;

// The issuing companies as the list picker shows them (code and name of EMPRESA),
// read through the host's connection: the filter dialog's list and the history
// screen's company lookup read the same query.
namespace CompanyQuery {

KOR_EXPORT TADOIBQuery *Create(QObject *owner);

} // namespace CompanyQuery
