#include "app/AppStart.h"

int main(int argc, char** argv) {
    return ocelis::RunOcelis(argc, argv);
}
