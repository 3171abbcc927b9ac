#pragma once

class QKeyEvent;

// A key press that types printable text (letters, digits, blanks, punctuation),
// as opposed to editing and navigation keys.
bool IsTypedCharacter(const QKeyEvent &event);

// Ctrl+C, Ctrl+V or Ctrl+X, the clipboard keys that arrive as control characters.
bool IsClipboardControlKey(const QKeyEvent &event);
