#pragma once

#include "data/Engine.h"

#include <QString>
#include <memory>

// The library file, through Qt's SQLite driver. Opening never creates a missing file; a file
// that this process may not write, with no write-ahead log beside it, is read as it stands.
std::unique_ptr<TEngine> OpenSqliteLibrary(const QString &fileName);

// Creates an empty library file with the project's schema; refuses an existing file.
void CreateSqliteLibrary(const QString &fileName);
