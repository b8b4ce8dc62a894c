// Sealkeep's entry point.
#include "app/startup.h"

int main(int argc, char** argv)
{
    return sealkeep::sealkeep_main(argc, argv);
}
