#include "app/CQuorvelApp.h"
#include "jobs/HeapTuning.h"

int main(int argc, char** argv) {
    KeepFrameBuffersInHeap();
    CQuorvelApp app(argc, argv);
    return app.InitInstance();
}
