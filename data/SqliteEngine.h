#pragma once

#include "data/Engine.h"

#include <QString>
#include <memory>

// The library file, opened with SQLite itself. Opening never creates a missing file; a file
// that this process may not write, or that lies in a folder it may not write, is only read.
std::unique_ptr<TEngine> OpenSqliteLibrary(const QString &fileName);

// Creates an empty library file with the project's schema, whole or not at all; refuses an
// existing file.
void CreateSqliteLibrary(const QString &fileName);
