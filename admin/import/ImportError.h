#pragma once

#include "platform/data/FasError.h"

// An import that cannot start: the file cannot be read or is not UTF-8, the kind
// is unknown. The message names the file and what the user can do.
class ImportError : public FasError
{
public:
    using FasError::FasError;
};
