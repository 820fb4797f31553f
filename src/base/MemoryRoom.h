#pragma once
// How much more memory this process can take: the smaller of the room left under its address-space
// limit and the memory the system still has (available RAM and free swap). Lets a program refuse
// work whose memory it can tell in advance instead of failing somewhere in the middle of it.

#include <cstdint>

namespace kalvort {

// UINT64_MAX when nothing could be read.
uint64_t MemoryRoom();

// True when `bytes` more fit in MemoryRoom().
bool HasMemoryFor(uint64_t bytes);

}  // namespace kalvort
