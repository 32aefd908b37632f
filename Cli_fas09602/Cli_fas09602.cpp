#include "Cli_fas09602/Cli_fas09602.h"

namespace Cli_fas09602 {

// The screen keeps nothing module-wide: it is made at its first opening and
// released when it is closed.
void initialization() { }

void Finalization() { }

} // namespace Cli_fas09602
