#include "cli/Verbs.h"

int VerbInit(const TCliContext &) { throw TUsageError{QStringLiteral("init: not available yet")}; }
int VerbSongs(const TCliContext &) { throw TUsageError{QStringLiteral("songs: not available yet")}; }
int VerbPlaylists(const TCliContext &)
{
    throw TUsageError{QStringLiteral("playlists: not available yet")};
}
