#include "app/CQuorvelApp.h"
#include "app/GuiCommandLine.h"
#include "jobs/HeapTuning.h"

int main(int argc, char** argv) {
    // --help and --version answer before Qt looks for a display.
    const GuiCommandLine commandLine = ParseGuiCommandLine(argc, argv);
    if (commandLine.exitStatus >= 0) return commandLine.exitStatus;
    KeepFrameBuffersInHeap();
    CQuorvelApp app(argc, argv);
    return app.InitInstance(commandLine.paths);
}
