// The deletions that the NT family performs at the next restart: the pairs
// of PendingFileRenameOperations in the Session Manager key, where
// MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT records them (a deletion is a
// path followed by an empty destination). Read and written through the
// wide-character functions, so that records of other programs that code
// page 932 cannot spell come back unchanged.
#pragma once

// True when path (code page 932, full path) is recorded for deletion at the
// next restart.
bool IsDeletionPending(const char* path);

// Takes back every recorded deletion of path; all other records stay as they
// are, in their order (the value goes when nothing is left in it). True when
// no deletion of path is recorded afterwards.
bool CancelPendingDeletion(const char* path);
