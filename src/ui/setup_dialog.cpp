// To be written.
#include "ui/setup_dialog.h"
