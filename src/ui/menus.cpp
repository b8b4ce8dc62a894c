// To be written.
#include "ui/menus.h"
