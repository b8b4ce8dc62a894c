// Sealkeep's entry point.
#include "app/startup.h"

#include <malloc.h>

int main(int argc, char** argv)
{
    // Every block the allocator releases is overwritten first: the toolkit's copies of row texts and of
    // copied passwords (which Sealkeep cannot reach to overwrite itself) go with the memory that held them.
#ifdef M_PERTURB
    mallopt(M_PERTURB, 0x5a);
#endif
    return sealkeep::sealkeep_main(argc, argv);
}
