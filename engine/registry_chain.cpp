#include "engine/registry_chain.h"

#include <string.h>

#include "engine/install_paths.h"

namespace {

// Byte offset at which prefix number index ends (exclusive): the position of
// the index-th backslash, or the length of the whole path for the last one.
// -1 when index is out of range.
int PrefixEnd(const char* keyPath, int index) {
    if (index < 0 || !*keyPath) return -1;
    int position = -1;
    for (int i = 0; i <= index; ++i) {
        position = MbFind(keyPath, '\\', position + 1);
        if (position < 0) return i == index ? static_cast<int>(strlen(keyPath)) : -1;
    }
    return position;
}

// Splits path at its last backslash; false when it has none.
bool SplitLast(const ByteString& path, ByteString* parent, ByteString* leaf) {
    int last = MbFindLast(path.c_str(), '\\');
    if (last < 0) return false;
    *parent = path.Left(static_cast<size_t>(last));
    *leaf = path.Mid(static_cast<size_t>(last) + 1);
    return true;
}

}  // namespace

int KeyPrefixCount(const char* keyPath) { return *keyPath ? MbCount(keyPath, '\\') + 1 : 0; }

ByteString KeyPrefix(const char* keyPath, int index) {
    int end = PrefixEnd(keyPath, index);
    if (end < 0) return ByteString();
    return ByteString(keyPath, static_cast<size_t>(end));
}

ByteString CreatedKeyChain(const char* keyPath, int firstMissing) {
    if (firstMissing < 0 || firstMissing >= KeyPrefixCount(keyPath)) return ByteString();
    // The missing prefix's last component starts right after the backslash
    // that ends the prefix before it.
    int start = firstMissing == 0 ? 0 : PrefixEnd(keyPath, firstMissing - 1) + 1;
    return ByteString(keyPath + start);
}

StringList KeysToClimb(const char* keyPath, const char* createdChain) {
    StringList keys;
    ByteString key(keyPath);
    ByteString chain(createdChain);
    ByteString parent, leaf, chainRest, chainLeaf;
    while (!chain.IsEmpty() && SplitLast(key, &parent, &leaf)) {
        if (!SplitLast(chain, &chainRest, &chainLeaf)) {
            chainLeaf = chain;
            chainRest.Clear();
        }
        if (leaf != chainLeaf) break;
        keys.Add(key);
        key = parent;
        chain = chainRest;
    }
    return keys;
}

bool SplitKeyItem(const char* item, ByteString* parent, ByteString* leaf) {
    ByteString path = WithoutTrailingBackslash(item);
    if (!SplitLast(path, parent, leaf)) return false;
    return !parent->IsEmpty() && !leaf->IsEmpty();
}
