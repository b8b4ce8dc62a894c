// To be written.
#include "db/record_line.h"
