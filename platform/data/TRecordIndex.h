#pragma once

#include <vector>

#include "fasdata_export.h"

class TRecordStore;

// An index over the rows of a store: their row numbers in the order of one
// field, ascending or descending. Blank (null) cells come first in ascending
// order and last in descending order; rows with equal values keep their order
// (the sort is stable), so sorting again by another field groups within it.
// Texts compare as the host's language (FormatSettings::locale) orders them (case and accents second),
// date-times and numbers by value.
namespace TRecordIndex {

FASDATA_EXPORT std::vector<int> Build(const TRecordStore &store, int field, bool descending);

// The order that undoes `applied`: the index of each row's place before.
FASDATA_EXPORT std::vector<int> Inverse(const std::vector<int> &applied);

} // namespace TRecordIndex
