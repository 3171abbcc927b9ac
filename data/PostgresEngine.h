#pragma once

#include "data/Engine.h"

#include <QString>
#include <memory>

// True for a libpq connection address ("postgresql://..." or "postgres://...").
bool IsServerLibrary(const QString &dataSource);

// Refuses an address that holds a password: passwords come only from libpq's own means
// (~/.pgpass, PGPASSWORD, PGSERVICE).
void CheckServerAddress(const QString &uri);

// A library in a PostgreSQL database, through libpq. Opening checks the address and connects;
// a server that cannot be reached raises a ConnectionLost failure.
std::unique_ptr<TEngine> OpenPostgresLibrary(const QString &uri);

// Lays out the library's tables in an existing database; refuses one that holds them already.
void CreatePostgresLibrary(const QString &uri);
