#pragma once

#include "platform/data/FasError.h"
#include "fassql_export.h"

// A database that cannot be reached, opened or understood. The message names the
// database (never its password) and the driver's reason.
class FASSQL_EXPORT DatabaseError : public FasError
{
public:
    using FasError::FasError;
};
