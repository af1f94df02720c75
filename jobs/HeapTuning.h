#pragma once

// Frames are several megabytes each, and FreeImage allocates its images afresh for every frame.
// By default glibc hands blocks that large straight back to the system (mmap and munmap, or a
// trim of the heap top), so every frame paid again for faulting its pages in: a third of the
// conversion time went to page faults. Programs call this once at start-up to keep such blocks
// in the heap for reuse. Memory stays bounded by the few frames in flight.
void KeepFrameBuffersInHeap();
