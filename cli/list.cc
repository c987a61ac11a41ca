#include "catalog/context.h"
#include "cli/korvex.h"

namespace korvex {

int RunList(Context&, int, char**) { return 0; }

}  // namespace korvex
