// To be written.
#include "launch/clipboard.h"
