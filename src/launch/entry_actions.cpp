// To be written.
#include "launch/entry_actions.h"
