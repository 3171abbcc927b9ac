#include "cli/Verbs.h"

int VerbTag(const TCliContext &)
{
    throw TUsageError{QStringLiteral("tag: not available yet")};
}
