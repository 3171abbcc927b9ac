#include "cli/Verbs.h"

int VerbImport(const TCliContext &)
{
    throw TUsageError{QStringLiteral("import: not available yet")};
}
