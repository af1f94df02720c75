#pragma once

// Frames are several megabytes each, and libjpeg allocates its buffers afresh for every frame.
// By default glibc hands blocks that large straight back to the system (mmap and munmap, or a
// trim of the heap top), so every frame paid again for faulting its pages in: a third of the
// conversion time went to page faults. Programs call this once at start-up to keep such blocks
// in the heap for reuse. Memory stays bounded by the few frames in flight.
void KeepFrameBuffersInHeap();

// Hands the heap's free blocks back to the system, in every thread's heap: a job whose frames
// were large calls it when it ends, so that the blocks it kept for reuse do not stay with its
// threads while other jobs run.
void ReturnFreeHeapMemory();
