#pragma once

#include <QString>

// Where the program keeps its values, taken from the root key.
inline const QString QuillmereKeyPath = QStringLiteral("\\SOFTWARE\\Corvanta\\Quillmere");

// The string value under the key, up to its first zero character; empty when the key or the
// value is missing. Raises ERegistryError for a value that is not a string or cannot be read.
// MachineRoot selects the machine-wide store instead of the current user's.
QString ReadSetting(const QString &KeyPath, const QString &ValueName, bool MachineRoot);

// Stores a string value under the key, creating the key when needed. Raises ERegistryError
// when the value cannot be stored; a store that cannot be opened at all is left alone.
void WriteSetting(const QString &KeyPath, const QString &ValueName, const QString &Value,
                  bool MachineRoot);

// Removes the key with all its values; a key that is not there, or a store that cannot be opened,
// is left alone.
void DeleteSettingsKey(const QString &KeyPath, bool MachineRoot);

// Where the window keeps what it remembers between runs, and where the Options are kept.
inline const QString WindowKeyPath = QuillmereKeyPath + QStringLiteral("\\Window");
inline const QString OptionsKeyPath = QuillmereKeyPath + QStringLiteral("\\Options");
