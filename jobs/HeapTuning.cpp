#include "jobs/HeapTuning.h"

#include <malloc.h>

void KeepFrameBuffersInHeap() {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
}

void ReturnFreeHeapMemory() { malloc_trim(0); }
