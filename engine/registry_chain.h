// Registry key path arithmetic for the Install key record and the script's
// [UnInstall] items. Paths are relative to a root key, components are
// separated by "\" (found multibyte-aware, so a 0x5C trail byte never splits
// a component), and nothing here touches the registry.
#pragma once

#include "base/text.h"

// Number of prefixes of keyPath that the installation probes: one cut before
// each backslash, from the left, and finally keyPath itself. "A\B\C" has the
// prefixes "A", "A\B" and "A\B\C"; an empty path has none.
int KeyPrefixCount(const char* keyPath);
// Prefix number index (0-based) of keyPath; empty when index is out of range.
ByteString KeyPrefix(const char* keyPath, int index);

// The part of keyPath that the installation creates when prefix number
// firstMissing is the first one that does not exist: that prefix's last
// component and everything after it ("A\B\C" with 1 missing: "B\C"). Empty
// when firstMissing is negative or out of range (the whole path existed).
ByteString CreatedKeyChain(const char* keyPath, int firstMissing);

// The keys that the uninstallation may delete once the Install key keyPath
// has lost its recorded values, innermost first: keyPath, then its parents,
// for as long as the created chain, read from its end, names the same
// components. Each key is deleted only while the one examined before it
// turned out empty; the caller checks that. A key with no backslash (one
// directly under the root) is never listed, and neither is any key beyond
// the components that the chain names, so a key that existed before the
// installation is never among them, even when a parent shares a created
// key's name.
StringList KeysToClimb(const char* keyPath, const char* createdChain);

// Splits a key path into the parent key and the leaf to delete under it.
// One trailing backslash is dropped first, so "A\B\" names the same key as
// "A\B". False (the item is skipped) when no backslash is left, or when the
// parent or the leaf would be empty ("\B", "A\\"): an empty leaf would make
// the delete act on the parent itself, an empty parent on the root.
bool SplitKeyItem(const char* item, ByteString* parent, ByteString* leaf);
