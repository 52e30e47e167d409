#include "launcher/win_main.h"
#include "platform/system.h"

int main(int argc, char** argv) {
    platform::initProcess(argc, argv);
    return launcher::WinMain();
}
