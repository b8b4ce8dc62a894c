// Translated texts: every user-visible text goes through the program's text domain.
#pragma once

#include <glib/gi18n-lib.h>

#define SEALKEEP_TEXT_DOMAIN "sealkeep"

#undef _
#define _(text) g_dgettext(SEALKEEP_TEXT_DOMAIN, text)
