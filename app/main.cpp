#include "app/CQuorvelApp.h"

int main(int argc, char** argv) {
    CQuorvelApp app(argc, argv);
    return app.InitInstance();
}
