// To be written.
#include "ui/search_bar.h"
