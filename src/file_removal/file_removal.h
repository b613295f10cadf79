// Removal of the component set's files, deferring to the next system start
// whatever cannot be deleted now.
#pragma once

// Paths, directories and file names live in buffers of this many bytes.
const unsigned kPathBufferSize = 260;

// The six component files in the Windows directory, in removal order.
void RemoveComponentFiles();

// The control panel applet: from the Windows directory on NT, from the
// system directory on the Windows 95 family.
void RemoveControlPanelApplet();

// Deletes the file now; a file already gone is done; any other refusal
// hands it to DeleteAtRestart.
void RemoveFile(const char* path);

// Schedules the file for deletion at the next system start and raises
// UninstallState.restartRequired, even if the scheduling itself fails.
void DeleteAtRestart(const char* path);
