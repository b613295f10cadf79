// The one record the whole run shares: raised by file removal when it defers
// a deletion, read by the sequence after the last phase. Never stored.
#pragma once

struct UninstallStateRecord {
  bool restartRequired;      // false at start; only ever set
  bool renameHeaderPending;  // true at start; only ever cleared
};

extern UninstallStateRecord UninstallState;
