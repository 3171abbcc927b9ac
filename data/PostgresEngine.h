#pragma once

#include "data/Engine.h"

#include <QString>
#include <memory>

// True for a libpq connection address ("postgresql://..." or "postgres://...", the scheme in
// any case; libpq is given it in lower case).
bool IsServerLibrary(const QString &dataSource);

// Refuses an address that holds a password in any form, even an empty one: passwords come only
// from libpq's own means (~/.pgpass, PGPASSWORD, PGSERVICE). Its messages never repeat the
// address, nor any piece of it.
void CheckServerAddress(const QString &uri);

// A library in a PostgreSQL database, through libpq. Opening checks the address and connects;
// a server that cannot be reached raises a ConnectionLost failure, a database that is not
// UTF-8 is refused.
std::unique_ptr<TEngine> OpenPostgresLibrary(const QString &uri);

// Lays out the library's tables in an existing database; refuses one that holds them already.
void CreatePostgresLibrary(const QString &uri);
