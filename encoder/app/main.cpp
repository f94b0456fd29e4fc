#include "encoder/app/startup.h"

int main(int argc, char** argv) {
    return RunQuillreelEncoder(argc, argv);
}
