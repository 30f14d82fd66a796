#pragma once

#include "dataaccess/Value.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

class TRowSource;

// A bounded cache of a row source's rows by position, in blocks. Blocks next to a cached one are read
// by key from their neighbour where the source can, so walking a table costs an index seek per block
// at any depth. The least recently used blocks go first; memory stays flat however far one browses.
class TRowCache {
public:
  static constexpr int BlockRows = 512;

  explicit TRowCache(TRowSource* source, int maxBlocks = 64) : FSource(source), FMaxBlocks(maxBlocks) {}

  // The row at a 0-based position, nullptr past the end. Valid until the next call.
  const TRow* row(int64_t position);
  // The row when its block is in memory, else nullptr: never asks the source.
  const TRow* cachedRow(int64_t position) const;
  // Exact count when a short read has shown where the rows end; -1 otherwise.
  int64_t knownEnd() const { return FKnownEnd; }
  void setKnownEnd(int64_t count) { FKnownEnd = count; }
  void clear();
  size_t cachedBlocks() const { return FBlocks.size(); }

private:
  struct Block {
    std::vector<TRow> Rows;
    uint64_t LastUse = 0;
  };
  Block& load(int64_t block);

  TRowSource* FSource;
  int FMaxBlocks;
  std::unordered_map<int64_t, Block> FBlocks;
  uint64_t FTick = 0;
  int64_t FKnownEnd = -1;
  Block* FLast = nullptr;  // the block asked for last (nodes of the map stay put until erased)
  int64_t FLastIndex = -1;
};
