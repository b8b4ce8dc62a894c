// To be written.
#include "ui/view_commands.h"
