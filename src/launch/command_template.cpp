// To be written.
#include "launch/command_template.h"
