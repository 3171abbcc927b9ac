#pragma once

// Creates the program's nine windows once, in their fixed order, and destroys them.
void CreateForms();
void DestroyForms();

class TfrmImportSongs;
class TfrmMain;
class TfrmOptions;
class TfrmPlaylistDetails;

// The main window shows in its views what the dialog changed in the library.
void ShowChangesIn(TfrmMain *window, TfrmImportSongs *dialog);
void ShowChangesIn(TfrmMain *window, TfrmPlaylistDetails *dialog);
// The main window takes the dialog's options now and whenever they change.
void ShowChangesIn(TfrmMain *window, TfrmOptions *dialog);
