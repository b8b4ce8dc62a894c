// To be written.
#include "ui/search_text.h"
