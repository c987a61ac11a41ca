#include "catalog/context.h"
#include "cli/korvex.h"

namespace korvex {

int RunExtract(Context&, int, char**) { return 0; }

}  // namespace korvex
