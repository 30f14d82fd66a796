#include "dataaccess/RowCache.h"

#include "dataaccess/Driver.h"

#include <algorithm>

const TRow* TRowCache::row(int64_t position)
{
  if (position < 0 || (FKnownEnd >= 0 && position >= FKnownEnd))
    return nullptr;
  const int64_t block = position / BlockRows;
  // Walking the rows asks for the same block many times running: keep it at hand.
  if (block != FLastIndex || !FLast) {
    auto it = FBlocks.find(block);
    FLast = it != FBlocks.end() ? &it->second : &load(block);
    FLastIndex = block;
  }
  Block& b = *FLast;
  b.LastUse = ++FTick;
  const size_t index = size_t(position - block * BlockRows);
  return index < b.Rows.size() ? &b.Rows[index] : nullptr;
}

const TRow* TRowCache::cachedRow(int64_t position) const
{
  if (position < 0 || (FKnownEnd >= 0 && position >= FKnownEnd))
    return nullptr;
  const int64_t block = position / BlockRows;
  const auto it = FBlocks.find(block);
  if (it == FBlocks.end())
    return nullptr;
  const size_t index = size_t(position - block * BlockRows);
  return index < it->second.Rows.size() ? &it->second.Rows[index] : nullptr;
}

TRowCache::Block& TRowCache::load(int64_t block)
{
  // The rows of the block that goes make room for the new one: their storage is read into again.
  std::vector<TRow> rows;
  if (int(FBlocks.size()) >= FMaxBlocks) {
    auto oldest = std::min_element(FBlocks.begin(), FBlocks.end(),
                                   [](const auto& a, const auto& b) { return a.second.LastUse < b.second.LastUse; });
    if (&oldest->second == FLast)
      FLast = nullptr;
    rows = std::move(oldest->second.Rows);
    FBlocks.erase(oldest);
  }
  const int64_t start = block * BlockRows;
  bool read = false;
  auto before = FBlocks.find(block - 1);
  if (before != FBlocks.end() && before->second.Rows.size() == size_t(BlockRows))
    read = FSource->readAfter(before->second.Rows.back(), BlockRows, rows);
  if (!read) {
    auto after = FBlocks.find(block + 1);
    if (after != FBlocks.end() && !after->second.Rows.empty()) {
      read = FSource->readBefore(after->second.Rows.front(), BlockRows, rows);
      if (read && rows.size() != size_t(BlockRows))
        read = false;  // rows went away meanwhile: positions are no longer those of the neighbour
    }
  }
  if (!read)
    FSource->readAt(start, BlockRows, rows);
  if (rows.size() < size_t(BlockRows))
    FKnownEnd = start + int64_t(rows.size());
  Block& b = FBlocks[block];
  b.Rows = std::move(rows);
  return b;
}

void TRowCache::clear()
{
  FLast = nullptr;
  FBlocks.clear();
  FKnownEnd = -1;
}
