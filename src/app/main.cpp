#include "app/libMain.h"

int main(int argc, char** argv)
{
    return libMain(argc, argv);
}
