#include "cli/Verbs.h"

int VerbPls(const TCliContext &)
{
    throw TUsageError{QStringLiteral("pls: not available yet")};
}
