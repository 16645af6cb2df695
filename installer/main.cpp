#include "installer/CQuilletApp.h"

int main(int argc, char** argv) {
    return CQuilletApp().Run(argc, argv);
}
