// Translated texts: every user-visible text goes through the program's text domain.
#pragma once

#include <glib.h>

#define SEALKEEP_TEXT_DOMAIN "sealkeep"

#define _(text) g_dgettext(SEALKEEP_TEXT_DOMAIN, text)
#define N_(text) text

// A text with a number in it: the catalogue picks the form that the language uses for n.
#define P_(singular, plural, n) g_dngettext(SEALKEEP_TEXT_DOMAIN, singular, plural, n)
