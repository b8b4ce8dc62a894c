// To be written.
#include "db/record_reader.h"
