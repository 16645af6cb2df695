#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ProxyItem;
class ProxyList;

// Sorting the proxy list by one of the list view's columns, always ascending by the column's key.
// Columns whose keys have few values use a stable bucket sort; the address, port and delay columns
// use a quicksort whose order of equal keys users see and keep relying on, so it is reproduced
// exactly, also where it would otherwise take quadratic time.
namespace ProxySorter {

// The key of a record under a column index 0..9. Bucket columns give 1..bucket count, and one more
// for values a damaged saved list may hold, so that such records go last.
uint32_t SortKey(const ProxyItem& item, int32_t column);

// Sorts the list by the column, renumbers it and returns the log line; the view's refresh and the
// log belong to the caller. A column outside 0..9 changes nothing and gives an empty text.
std::string SortByColumn(ProxyList& list, int32_t column);

// The new order as old positions, for keys in 1..bucketCount + 1; equal keys keep their order.
std::vector<uint32_t> CountingSortByKey(const std::vector<uint32_t>& keys, uint32_t bucketCount);
// The new order as old positions after the quicksort with its median-of-three partition.
std::vector<uint32_t> QuickSortByKey(const std::vector<uint32_t>& keys);

} // namespace ProxySorter
