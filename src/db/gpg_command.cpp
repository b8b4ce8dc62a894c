// To be written.
#include "db/gpg_command.h"
